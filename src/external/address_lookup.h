// The external-address lookup: for every local address of the snapshot, one HTTP request bound to
// that address asks the endpoint which public address and location it sees the caller with.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ipops/operation_host.h"
#include "settings/app_settings.h"

namespace nicops::external {

// Appended to the settings' lookupServer (scheme, host and port).
inline constexpr std::string_view kLookupPath = "/GetIp/default.aspx";
// A longer response body fails the lookup.
inline constexpr std::size_t kMaxResponseBytes = 64 * 1024;
// Without a request time-out, a lookup whose server sends nothing for this long fails.
inline constexpr long kStalledTransferSeconds = 10;

// One request from `localAddress` (dotted text) to settings.lookupServer + kLookupPath, with the
// settings' time-outs. True when the final answer (redirects followed) has status 200, a body of
// at most kMaxResponseBytes and an ip value that is an IP address (readLookupAnswer); only then
// are externalAddress and location replaced, from the body's ip value and
// settings.locationFormat. An empty lookupServer sends nothing (false).
bool lookupExternalAddress(const std::string& localAddress, const settings::AppSettings& settings,
                           std::string& externalAddress, std::string& location);

// Whether `text` is, whole, IPv4 dotted text (four decimal parts) or IPv6 text, as inet_pton reads
// them.
bool isIpAddressText(std::string_view text);

// The two results of a 200 answer: `bodyGbk` is the body already converted to GBK. False, with
// both results untouched, when the ip value is missing or is not an IP address: the answer then
// counts as failed. Control bytes (below 0x20, and 0x7F) of the location values become spaces,
// so neither result can break a line of the list or of the export.
bool readLookupAnswer(std::string_view bodyGbk, std::string_view locationFormat,
                      std::string& externalAddress, std::string& location);

// The list menu's "查询所有网卡IP对应外网IP" (run on a worker): every key of snapshot.addresses
// (all adapters, addresses only) looked up, the results written into the entries under the
// snapshot lock, the current adapter shown again and the summary logged, all inside one busy
// period. Each request takes its own copy of the settings; lookupConcurrency requests at most are
// in flight at once (1: strictly one after another).
void queryExternalAddresses(const ipops::OperationServices& services, ipops::OperationHost& host,
                            const settings::SharedSettings& settings);

}  // namespace nicops::external
