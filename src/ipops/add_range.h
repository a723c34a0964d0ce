// Adding addresses in bulk: the add dialog's range text, one entry per line, each a single
// address or a range written with braces (192.168.1.{10-20}).
#pragma once

#include <string>

#include "ipops/operation_host.h"

namespace nicops::ipops {

// What "确定" copies out of the add dialog before it closes.
struct AddRequest {
    std::string rangeText;  // the range box's whole content, lines separated by CR LF
    std::string maskText;   // the mask box's dotted text ("" when blank)
    bool checkInUse = false;
};

// The add operation (run on a worker): every entry of the request added to the current adapter,
// each address logged with its result, then a refresh, the summary line and persistAddresses,
// all inside one busy period.
void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request);

}  // namespace nicops::ipops
