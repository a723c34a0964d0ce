// Adding addresses in bulk: the add dialog's range text, one entry per line, each a single
// address or a range written with braces (192.168.1.{10-20}).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ipops/operation_host.h"
#include "ipops/operation_report.h"

namespace nicops::ipops {

// What "确定" copies out of the add dialog before it closes.
struct AddRequest {
    std::string rangeText;  // the range box's whole content, lines separated by CR LF
    std::string maskText;   // the mask box's dotted text ("" when blank)
    bool checkInUse = false;
};

// How long the in-use probe waits for an echo reply.
inline constexpr int kInUseProbeTimeoutMs = 30;
// Addresses probed together and handed to the backend together.
inline constexpr std::size_t kAddressBatchSize = 1000;

// Looks a host name up: true when it names at least one IPv4 address.
using NameLookup = std::function<bool(const std::string& name)>;

// The system resolver (getaddrinfo, IPv4 only).
bool resolverLookup(const std::string& name);

// The format check of a single entry: a dotted IPv4 address (the inet_aton forms), or a text
// shaped like a host name (letters, digits, '-', '.', '_', with at least one letter) that
// `lookup` resolves. Anything else — empty, spaces, braces, an all-numeric text that is no
// address — fails without a lookup.
bool addressTextAccepted(const std::string& text, const NameLookup& lookup = resolverLookup);

// The add operation (run on a worker): every entry of the request added to the current adapter,
// each address logged with its result, then a refresh, the summary line and persistAddresses of
// that adapter, all inside one busy period. A report gets each address's result (and each
// refused entry's) and may leave the store out.
void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request,
                 OperationReport* report = nullptr);
// The same with the name lookup of single entries given (tests stay off the network).
void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request,
                 const NameLookup& lookup, OperationReport* report = nullptr);

// What the add would find of the range text's entries, without changing or logging anything:
// each address of each entry, in order, present (the adapter holds it; its mask) or absent, and
// each entry the add refuses invalid (with the line the add would log).
std::vector<AddressResult> checkIpRanges(const OperationServices& services,
                                         std::uint32_t adapterIndex, const std::string& rangeText,
                                         const NameLookup& lookup = resolverLookup);

}  // namespace nicops::ipops
