// What an add or delete hands back to a caller that wants more than its log lines (nicopsctl
// --json): each address's result as its log line says it, the summary's counts and whether the
// store was written; and whether to write the store at all. The window passes none. The check
// of the add's entries (checkIpRanges) answers in the same records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nicops::ipops {

enum class AddressOutcome {
    added,     // add: the backend added it
    exists,    // add: a single entry the host already holds, not tried
    inUse,     // add: it answered the in-use probe, not tried
    failed,    // the backend refused it (code)
    invalid,   // add: an entry that names no address (format or range error)
    deleted,   // delete: the backend deleted it
    notFound,  // delete: the list doesn't show it (nicopsctl's own line)
    present,   // check: the adapter holds it
    absent,    // check: the adapter doesn't hold it, so the add would try it
};

struct AddressResult {
    std::string entry;    // add: the range box line it came from; delete: the address
    std::string address;  // "" for an invalid entry
    std::string mask;     // add: the mask asked for; delete: the row's mask ("" when unknown)
    AddressOutcome outcome = AddressOutcome::failed;
    std::optional<std::uint32_t> code;  // the backend's answer, when it was asked
    std::string message;                // the log line's message (GBK, without its stamp)
};

struct OperationReport {
    // In: false leaves the store as it is (no persistAddresses, none of its log lines).
    bool writeStore = true;

    // Out, in the order of the log lines.
    std::vector<AddressResult> results;
    std::uint32_t selected = 0;    // delete: the rows selected
    std::uint32_t qualifying = 0;  // delete: the address rows among them
    std::uint32_t successes = 0;   // the summary's counts
    std::uint32_t failures = 0;
    bool stored = false;  // both of the adapter's store values were written
};

}  // namespace nicops::ipops
