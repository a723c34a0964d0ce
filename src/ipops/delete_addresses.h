// Deleting the selected rows of the IP list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inventory/snapshot.h"
#include "ipops/operation_host.h"
#include "ipops/operation_report.h"

namespace nicops::ipops {

// What the delete reads of one selected list row.
struct SelectedRow {
    std::string address;  // as the list shows it, for the log
    std::uint32_t context = 0;
    inventory::AddressKind kind = inventory::AddressKind::address;
};

// The delete operation: every selected row of the address kind deleted by its context, each
// logged, then a refresh, the summary line and persistAddresses of the adapter shown at the
// start, all inside one busy period. `rows` are the selected rows in ascending row order, taken
// when the operation starts. A report gets each address's result and the counts, and may leave
// the store out.
void deleteSelectedAddresses(const OperationServices& services, OperationHost& host,
                             const std::vector<SelectedRow>& rows,
                             OperationReport* report = nullptr);

}  // namespace nicops::ipops
