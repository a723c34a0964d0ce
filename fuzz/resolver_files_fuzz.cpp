// The resolver's files, any text: every server the parsers give is an IPv4 address the text
// holds; a file written with servers taken from the input, among lines of the input, gives
// exactly those servers, in order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/ipv4_text.h"
#include "platform/linux/resolver_files.h"

using namespace nicops::platform;
using namespace nicops::platform::linux_host;

namespace {

// The input's lines that name no server: neither a nameserver line nor a SERVERS= line.
std::string otherLines(std::string_view input) {
    std::string out;
    std::size_t at = 0;
    while (at < input.size()) {
        std::size_t end = input.find('\n', at);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        const std::string_view line = input.substr(at, end - at);
        at = end + 1;
        if (line.find("nameserver") == std::string_view::npos &&
            line.find("SERVERS=") == std::string_view::npos) {
            out.append(line).push_back('\n');
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = nicops::fuzz::inputText(data, size);
    const auto check = [&](const std::vector<std::string>& servers) {
        for (const auto& server : servers) {
            FUZZ_CHECK(parseIpv4(server).has_value());
            FUZZ_CHECK(text.find(server) != std::string_view::npos);
        }
    };
    check(parseResolvConfServers(text));
    if (const auto servers = parseResolvedLinkServers(text)) {
        FUZZ_CHECK(text.find("SERVERS=") != std::string_view::npos);
        check(*servers);
    }

    // Servers from the input's bytes, written among its other lines.
    const std::vector<std::string> servers = {formatIpv4(nicops::fuzz::u32At(text, 0)),
                                              formatIpv4(nicops::fuzz::u32At(text, 4))};
    const std::string others = otherLines(text);
    const std::string resolvConf = others + "nameserver " + servers[0] + "\n\t nameserver\t" +
                                   servers[1] + " # second\r\n" + others;
    FUZZ_CHECK(parseResolvConfServers(resolvConf) == servers);
    const std::string state = others + "SERVERS=" + servers[0] + ":53%2#dns.example " + servers[1] +
                              " 2001:db8::1\n" + others;
    const auto listed = parseResolvedLinkServers(state);
    FUZZ_CHECK(listed && *listed == servers);
    return 0;
}
