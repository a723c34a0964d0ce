// The DHCP clients' lease files, any bytes: what the parsers make is well formed (addresses
// the file names, times within what the records can hold, an obtained time no later than the
// expiry), and a lease written out in each client's form, for values taken from the input,
// reads back as those values. Of a link's leases the current one is held by the link and
// expires last.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/ipv4_text.h"
#include "platform/linux/lease_files.h"

using namespace nicops::platform;
using namespace nicops::platform::linux_host;

namespace {

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(value >> shift & 0xFF));
    }
}

// Every record: an obtained time before its expiry, when both are known.
void checkRecord(const LeaseRecord& lease) {
    if (lease.obtained > 0 && lease.expires > 0) {
        FUZZ_CHECK(lease.obtained <= lease.expires);
    }
}

void checkParsers(std::string_view text, std::int64_t writtenAt) {
    for (const auto& lease : parseDhclientLeases(text)) {
        checkRecord(lease);
        if (lease.address != 0) {
            FUZZ_CHECK(text.find(formatIpv4(lease.address)) != std::string_view::npos);
        }
    }
    if (const auto lease = parseKeyValueLease(text, writtenAt)) {
        FUZZ_CHECK(lease->address != 0 && lease->obtained == writtenAt);
        FUZZ_CHECK(lease->expires <= INT32_MAX);
        checkRecord(*lease);
    }
    if (const auto lease = parseDhcpcdLease(text, writtenAt)) {
        FUZZ_CHECK(lease->address != 0 && lease->obtained == writtenAt);
        FUZZ_CHECK(lease->expires <= INT32_MAX);
        FUZZ_CHECK(lease->dnsServers.size() + lease->winsServers.size() <= text.size() / 4);
        checkRecord(*lease);
    }
}

void checkWritten(std::string_view input, std::int64_t writtenAt) {
    LeaseRecord lease;
    lease.address = nicops::fuzz::u32At(input, 0) | 1;  // never 0
    lease.server = nicops::fuzz::u32At(input, 4);
    const std::uint32_t leaseTime = nicops::fuzz::u32At(input, 8) % 1000000 + 1;
    lease.dnsServers = {nicops::fuzz::u32At(input, 12), nicops::fuzz::u32At(input, 16)};
    lease.winsServers = {nicops::fuzz::u32At(input, 20)};

    // dhclient: a lease block with an "epoch" expiry.
    const std::int64_t expires = writtenAt + leaseTime;
    const std::string dhclient =
        "lease {\n  interface \"eth0\";\n  fixed-address " + formatIpv4(lease.address) +
        ";\n  option dhcp-lease-time " + std::to_string(leaseTime) +
        ";\n  option dhcp-server-identifier " + formatIpv4(lease.server) +
        ";\n  option domain-name-servers " + formatIpv4(lease.dnsServers[0]) + "," +
        formatIpv4(lease.dnsServers[1]) + ";\n  option netbios-name-servers " +
        formatIpv4(lease.winsServers[0]) + ";\n  expire epoch " + std::to_string(expires) +
        "; # a comment {\n}\n";
    const auto leases = parseDhclientLeases(dhclient);
    FUZZ_CHECK(leases.size() == 1);
    FUZZ_CHECK(leases[0].interfaceName == "eth0" && leases[0].address == lease.address &&
               leases[0].server == lease.server && leases[0].dnsServers == lease.dnsServers &&
               leases[0].winsServers == lease.winsServers && leases[0].expires == expires &&
               leases[0].obtained == writtenAt);

    // KEY=VALUE.
    const std::string keyValue =
        "# lease\nADDRESS=" + formatIpv4(lease.address) +
        "\nSERVER_ADDRESS=" + formatIpv4(lease.server) + "\nLIFETIME=" + std::to_string(leaseTime) +
        "\nDNS=" + formatIpv4(lease.dnsServers[0]) + " " + formatIpv4(lease.dnsServers[1]) + "\n";
    const auto fromKeys = parseKeyValueLease(keyValue, writtenAt);
    FUZZ_CHECK(fromKeys && fromKeys->address == lease.address && fromKeys->server == lease.server &&
               fromKeys->dnsServers == lease.dnsServers && fromKeys->obtained == writtenAt);
    FUZZ_CHECK(fromKeys->expires == std::min<std::int64_t>(expires, INT32_MAX));

    // dhcpcd: the DHCPACK as received.
    std::string ack(236, '\0');
    ack[0] = 2;
    std::string yiaddr;
    appendBigEndian(yiaddr, lease.address);
    ack.replace(16, 4, yiaddr);
    ack += std::string("\x63\x82\x53\x63", 4);
    ack += std::string("\x35\x01\x05\x00", 4);  // message type, then a pad
    ack += std::string("\x36\x04", 2);
    appendBigEndian(ack, lease.server);
    ack += std::string("\x33\x04", 2);
    appendBigEndian(ack, leaseTime);
    ack += std::string("\x06\x08", 2);
    appendBigEndian(ack, lease.dnsServers[0]);
    appendBigEndian(ack, lease.dnsServers[1]);
    ack += std::string("\x2c\x04", 2);
    appendBigEndian(ack, lease.winsServers[0]);
    ack += '\xff';
    const auto fromAck = parseDhcpcdLease(ack, writtenAt);
    FUZZ_CHECK(fromAck && fromAck->address == lease.address && fromAck->server == lease.server &&
               fromAck->dnsServers == lease.dnsServers &&
               fromAck->winsServers == lease.winsServers && fromAck->obtained == writtenAt);
    FUZZ_CHECK(fromAck->expires == std::min<std::int64_t>(expires, INT32_MAX));
}

void checkCurrent(const std::vector<LeaseRecord>& leases, std::string_view input) {
    const std::vector<std::uint32_t> link = {nicops::fuzz::u32At(input, 0) | 1,
                                             nicops::fuzz::u32At(input, 4)};
    const auto current = currentLease(leases, link);
    bool any = false;
    std::int64_t latest = 0;
    for (const auto& lease : leases) {
        if (lease.address == link[0] || lease.address == link[1]) {
            latest = any ? std::max(latest, lease.expires) : lease.expires;
            any = true;
        }
    }
    FUZZ_CHECK(current.has_value() == any);
    if (current) {
        FUZZ_CHECK(current->address == link[0] || current->address == link[1]);
        FUZZ_CHECK(current->expires == latest);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = nicops::fuzz::inputText(data, size);
    // A modification time after 1970 that a signed 32-bit time holds.
    const std::int64_t writtenAt = nicops::fuzz::u32At(input, 24) % INT32_MAX + 1;
    checkParsers(input, writtenAt);
    checkWritten(input, writtenAt);
    auto leases = parseDhclientLeases(input);
    if (auto lease = parseKeyValueLease(input, writtenAt)) {
        leases.push_back(*lease);
    }
    checkCurrent(leases, input);
    return 0;
}
