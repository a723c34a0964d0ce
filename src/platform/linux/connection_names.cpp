#include "platform/linux/connection_names.h"

#include <net/if.h>
#include <net/if_arp.h>

#include <unordered_set>
#include <utility>

#include "platform/ip_helper.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

// A name as the list shows it: in GBK, one line.
std::string shownName(const std::string& name) {
    return singleLineName(text::utf8ToGbk(name));
}

}  // namespace

bool isLoopback(const LinkRecord& link) {
    return link.arpType == ARPHRD_LOOPBACK || (link.flags & IFF_LOOPBACK) != 0;
}

std::vector<std::string> connectionNamesOf(const std::vector<LinkRecord>& links) {
    std::unordered_set<std::string> kernelNames;
    for (const auto& link : links) {
        kernelNames.insert(shownName(link.name));
    }
    std::unordered_set<std::string> shown;
    std::vector<std::string> names;
    names.reserve(links.size());
    for (const auto& link : links) {
        if (isLoopback(link)) {
            names.emplace_back();
            continue;
        }
        std::string name = shownName(link.name);
        if (!link.alias.empty()) {
            std::string alias = shownName(link.alias);
            if (kernelNames.count(alias) == 0 && shown.count(alias) == 0) {
                name = std::move(alias);
            }
        }
        shown.insert(name);
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<LinkRecord> linkOfConnectionName(std::vector<LinkRecord> links,
                                               const std::string& connectionName) {
    const auto names = connectionNamesOf(links);
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (!isLoopback(links[i]) && names[i] == connectionName) {
            return std::move(links[i]);
        }
    }
    return std::nullopt;
}

}  // namespace nicops::platform::linux_host
