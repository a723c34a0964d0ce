#include "platform/linux/resolver_files.h"

#include "platform/ipv4_text.h"
#include "platform/linux/host_file_text.h"

namespace nicops::platform::linux_host {

std::optional<std::vector<std::string>> parseResolvedLinkServers(std::string_view text) {
    std::optional<std::vector<std::string>> servers;
    forEachLine(text, [&](std::string_view line) {
        if (!startsWith(line, "SERVERS=")) {
            return;
        }
        servers.emplace();
        for (auto entry : words(line.substr(8))) {
            // An entry may carry a port, an interface or a server name: 1.2.3.4:53%2#name.
            const std::string_view address = entry.substr(0, entry.find_first_of(":%#"));
            if (parseIpv4(address)) {
                servers->emplace_back(address);
            }
        }
    });
    return servers;
}

std::vector<std::string> parseResolvConfServers(std::string_view text) {
    std::vector<std::string> servers;
    forEachLine(text, [&](std::string_view line) {
        const auto parts = words(line);
        if (parts.size() >= 2 && parts[0] == "nameserver" && parseIpv4(parts[1])) {
            servers.emplace_back(parts[1]);
        }
    });
    return servers;
}

}  // namespace nicops::platform::linux_host
