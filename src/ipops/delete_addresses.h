// Deleting the selected rows of the IP list.
#pragma once

#include <string>
#include <vector>

#include "ipops/operation_host.h"

namespace nicops::ipops {

// The cells of one selected list row that the delete reads.
struct SelectedRow {
    std::string address;  // column 1 "IP地址"
    std::string context;  // column 3 "Context"
    std::string kind;     // column 7 "类型"
};

// The delete operation: every selected row of kind "IP-地址" deleted by its context, each logged,
// then a refresh, the summary line and persistAddresses, all inside one busy period. `rows` are
// the selected rows in ascending row order, taken when the operation starts.
void deleteSelectedAddresses(const OperationServices& services, OperationHost& host,
                             const std::vector<SelectedRow>& rows);

}  // namespace nicops::ipops
