#include "platform/linux/networkd_link.h"

#include "platform/linux/configuration_text.h"

namespace nicops::platform::linux_host {

namespace {

// The value of KEY=VALUE in a state file; "" when the file has no such line.
std::string stateValue(std::string_view text, std::string_view key) {
    for (const auto& line : linesOf(text)) {
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=') {
            return trimmed(std::string_view(line).substr(key.size() + 1));
        }
    }
    return {};
}

}  // namespace

NetworkdLink parseNetworkdLinkState(std::string_view text) {
    NetworkdLink link;
    const std::string adminState = stateValue(text, "ADMIN_STATE");
    link.managed = !adminState.empty() && adminState != "unmanaged";
    if (link.managed) {
        link.networkFile = stateValue(text, "NETWORK_FILE");
    }
    return link;
}

bool networkFileTextEnablesDhcp(std::string_view content) {
    bool inNetwork = false;
    bool enabled = false;
    for (const auto& raw : linesOf(content)) {
        const std::string line = trimmed(raw);
        if (!line.empty() && line.front() == '[') {
            inNetwork = line == "[Network]";
        } else if (inNetwork && line.rfind("DHCP=", 0) == 0) {
            const std::string value = trimmed(std::string_view(line).substr(5));
            enabled = value == "yes" || value == "ipv4" || value == "true" || value == "on" ||
                      value == "1";
        }
    }
    return enabled;
}

NetworkdLink networkdLinkOf(const LinuxBackendOptions& options, std::uint32_t index) {
    const auto state =
        readTextFile(options.runRoot + "/systemd/netif/links/" + std::to_string(index));
    return state ? parseNetworkdLinkState(*state) : NetworkdLink{};
}

bool networkFileEnablesDhcp(const std::string& path) {
    const auto content = path.empty() ? std::nullopt : readTextFile(path);
    return content && networkFileTextEnablesDhcp(*content);
}

}  // namespace nicops::platform::linux_host
