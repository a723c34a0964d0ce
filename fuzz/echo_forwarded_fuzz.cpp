// nicops-echo's choice of the address to answer for, on any X-Forwarded-For value and trusted
// proxy entry: the answer is the peer or an address of the header, exactly the one the rule
// picks (walking from the right past trusted hops, stopping at a text that is no address);
// an address's text reads back as the same address.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "echo/forwarded.h"
#include "fuzz_check.h"

using namespace nicops::echo;

namespace {

constexpr const char* kProxies[] = {"10.0.0.0/8", "192.0.2.1", "2001:db8::/32", "::1",
                                    "198.51.100.0/24"};
constexpr const char* kPeers[] = {"10.1.2.3", "192.0.2.1",       "2001:db8::5",   "203.0.113.9",
                                  "::1",      "::ffff:10.0.0.1", "198.51.100.77", "2001:db9::1"};

std::vector<std::string_view> entriesOf(std::string_view header) {
    std::vector<std::string_view> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = header.find(',', start);
        entries.push_back(header.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            return entries;
        }
        start = comma + 1;
    }
}

bool blank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

// The rule, read from the right over the comma-separated entries.
IpAddress expectedAnswer(const IpAddress& peer, std::string_view header,
                         const TrustedProxies& trusted) {
    if (!trusted.contains(peer) || blank(header)) {
        return peer;
    }
    const auto entries = entriesOf(header);
    IpAddress current = peer;
    for (std::size_t i = entries.size(); i-- > 0;) {
        const auto address = parseIpAddress(entries[i]);
        if (!address) {
            return current;
        }
        current = *address;
        if (!trusted.contains(current)) {
            return current;
        }
    }
    return current;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = nicops::fuzz::inputText(data, size);
    const std::uint8_t choice = nicops::fuzz::takeByte(input);
    // A trusted entry of the input's own before the first 0x01 byte, then the header.
    const std::size_t cut = input.find('\x01');
    const std::string_view entry =
        cut == std::string_view::npos ? std::string_view() : input.substr(0, cut);
    const std::string_view header = cut == std::string_view::npos ? input : input.substr(cut + 1);

    TrustedProxies trusted;
    for (std::size_t i = 0; i < std::size(kProxies); ++i) {
        if ((choice >> i & 1) != 0) {
            FUZZ_CHECK(trusted.add(kProxies[i]));
        }
    }
    if (trusted.add(entry)) {
        const auto network = parseIpAddress(entry.substr(0, entry.find('/')));
        FUZZ_CHECK(network && trusted.contains(*network));
    }
    const auto peer = parseIpAddress(kPeers[choice >> 5]);
    FUZZ_CHECK(peer.has_value());

    const IpAddress answer = chooseClientAddress(*peer, header, trusted);
    FUZZ_CHECK(answer == expectedAnswer(*peer, header, trusted));
    bool fromHeader = false;
    for (const auto e : entriesOf(header)) {
        const auto address = parseIpAddress(e);
        fromHeader = fromHeader || (address && *address == answer);
    }
    FUZZ_CHECK(answer == *peer || fromHeader);

    // Texts of addresses read back as the same address.
    for (const auto e : entriesOf(header)) {
        if (const auto address = parseIpAddress(e)) {
            const std::string text = formatIpAddress(*address);
            FUZZ_CHECK(!text.empty());
            FUZZ_CHECK(parseIpAddress(text) == address);
            FUZZ_CHECK(parseIpAddress("[" + text + "]") == address || address->v4);
        }
    }
    return 0;
}
