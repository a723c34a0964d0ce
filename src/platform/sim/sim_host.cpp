#include "platform/sim/sim_host.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/address_batch.h"
#include "platform/atomic_file.h"
#include "platform/ipv4_text.h"
#include "platform/json_text.h"
#include "text/codepage.h"

namespace nicops::platform::sim {

using nlohmann::json;

namespace {

const char* const kListFields[] = {"ipAddresses", "gateways", "dhcpServer", "primaryWins",
                                   "secondaryWins"};

std::string gbkField(const json& object, const char* field) {
    auto it = object.find(field);
    return it != object.end() && it->is_string() ? text::utf8ToGbk(it->get<std::string>())
                                                 : std::string();
}

template <typename T>
T numberField(const json& object, const char* field, T fallback = 0) {
    auto it = object.find(field);
    return it != object.end() && it->is_number() ? it->get<T>() : fallback;
}

// The physical address "00-1A-2B-3C-4D-5E" (or with colons) as bytes.
std::vector<std::uint8_t> parseHwAddress(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d >= 0) {
            value = value * 16 + static_cast<unsigned>(d);
            ++digits;
        } else if (digits > 0) {
            bytes.push_back(static_cast<std::uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    if (digits > 0) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

std::vector<IpAddrString> readList(const json& adapter, const char* field) {
    std::vector<IpAddrString> list;
    auto it = adapter.find(field);
    if (it == adapter.end() || !it->is_array()) {
        return list;
    }
    const std::size_t n = it->size();
    list.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const json& e = (*it)[i];
        IpAddrString s;
        if (e.is_string()) {
            s.address = e.get<std::string>();
        } else if (e.is_object()) {
            s.address = gbkField(e, "address");
            s.mask = gbkField(e, "mask");
            s.context = numberField<std::uint32_t>(e, "context");
        }
        // The platform links each element to the next; the last one ends the list.
        const auto defaultNext = static_cast<std::uint32_t>(i + 1 < n ? i + 1 : 0);
        s.next = e.is_object() ? numberField<std::uint32_t>(e, "next", defaultNext) : defaultNext;
        list.push_back(std::move(s));
    }
    return list;
}

// The context of a new address: one above the last one handed out, past the largest number
// on to the lowest free one; never 0, which the snapshot skips and no delete can name.
std::uint32_t takeContext(std::uint32_t& last, std::unordered_set<std::uint32_t>& taken) {
    do {
        ++last;
    } while (last == 0 || taken.count(last) != 0);
    taken.insert(last);
    return last;
}

// The connection name of an adapter or an interface entry, as it is shown and matched.
std::string nameField(const json& object, const char* field) {
    return singleLineName(gbkField(object, field));
}

// The adapter's "dhcpFlag": whether it obtains its address automatically.
bool obtainsAddressAutomatically(const json& adapter) {
    auto it = adapter.find("dhcpFlag");
    return it != adapter.end() && it->is_boolean() && it->get<bool>();
}

// Descriptions nest a few levels; the limit keeps a hostile file from exhausting the stack when
// the host is written back.
constexpr int kMaxNesting = 32;

const json& adapterList(const json& host) {
    static const json kEmpty = json::array();
    auto it = host.find("adapters");
    return it != host.end() ? *it : kEmpty;
}

// An integer that fits T.
template <typename T>
bool fits(const json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<T>::max());
    }
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        return v >= static_cast<std::int64_t>(std::numeric_limits<T>::min()) &&
               (v < 0 || static_cast<std::uint64_t>(v) <=
                             static_cast<std::uint64_t>(std::numeric_limits<T>::max()));
    }
    return false;
}

// Why the fields of one object don't have the types the host reads; empty when they do.
std::string checkFields(
    const json& object,
    std::initializer_list<std::pair<const char*, bool (*)(const json&)>> fields) {
    for (const auto& [field, ok] : fields) {
        auto it = object.find(field);
        if (it != object.end() && !ok(*it)) {
            return std::string("\"") + field + "\" has the wrong type or is out of range";
        }
    }
    return {};
}

bool isText(const json& v) {
    return v.is_string();
}
bool isFlag(const json& v) {
    return v.is_boolean();
}

std::string checkList(const json& list) {
    if (!list.is_array()) {
        return "is not a list";
    }
    for (const json& e : list) {
        if (e.is_string()) {
            continue;
        }
        if (!e.is_object()) {
            return "has an element that is neither an address nor an object";
        }
        std::string reason = checkFields(e, {{"address", isText},
                                             {"mask", isText},
                                             {"context", fits<std::uint32_t>},
                                             {"next", fits<std::uint32_t>}});
        if (!reason.empty()) {
            return "has an element whose " + reason;
        }
    }
    return {};
}

std::string validate(const json& host) {
    if (!host.is_object()) {
        return "the top level is not an object";
    }
    const json& adapters = adapterList(host);
    if (!adapters.is_array()) {
        return "\"adapters\" is not a list";
    }
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const json& a = adapters[i];
        const std::string which = "adapter " + std::to_string(i + 1);
        if (!a.is_object() || !a.contains("index") || !fits<std::uint32_t>(a["index"])) {
            return which + " has no numeric \"index\"";
        }
        std::string reason = checkFields(a, {{"adapterName", isText},
                                             {"description", isText},
                                             {"hwAddress", isText},
                                             {"friendlyName", isText},
                                             {"type", fits<std::uint32_t>},
                                             {"dhcpEnabled", fits<std::uint32_t>},
                                             {"haveWins", fits<std::uint32_t>},
                                             {"leaseObtained", fits<std::int32_t>},
                                             {"leaseExpires", fits<std::int32_t>},
                                             {"status", fits<std::int32_t>},
                                             {"operStatus", fits<std::int32_t>},
                                             {"speed", fits<std::int64_t>},
                                             {"mtu", fits<std::int32_t>},
                                             {"dhcpFlag", isFlag},
                                             {"configurationRefused", isText}});
        if (!reason.empty()) {
            return which + ": " + reason;
        }
        for (const char* field : kListFields) {
            if (a.contains(field)) {
                reason = checkList(a[field]);
                if (!reason.empty()) {
                    return which + ": \"" + field + "\" " + reason;
                }
            }
        }
        if (a.contains("dns")) {
            reason = checkList(a["dns"]);
            if (!reason.empty()) {
                return which + ": \"dns\" " + reason;
            }
        }
    }
    auto interfaces = host.find("interfaces");
    if (interfaces != host.end()) {
        if (!interfaces->is_array()) {
            return "\"interfaces\" is not a list";
        }
        for (const json& entry : *interfaces) {
            if (!entry.is_object() ||
                !checkFields(entry, {{"index", fits<std::uint32_t>}, {"name", isText}}).empty()) {
                return "\"interfaces\" has an entry that is not {\"index\": number, \"name\": "
                       "text}";
            }
        }
    }
    auto answering = host.find("answering");
    if (answering != host.end()) {
        if (!answering->is_array() ||
            !std::all_of(answering->begin(), answering->end(),
                         [](const json& address) { return address.is_string(); })) {
            return "\"answering\" is not a list of addresses";
        }
    }
    auto refuse = host.find("refuse");
    if (refuse != host.end()) {
        if (!refuse->is_object()) {
            return "\"refuse\" is not an object";
        }
        for (const auto& [address, code] : refuse->items()) {
            if (!fits<std::uint32_t>(code)) {
                return "\"refuse\": the code of " + address + " is not a number";
            }
            // 0 would answer success for an add that never happens.
            if (code.get<std::uint32_t>() == kNoError) {
                return "\"refuse\": the code of " + address + " is 0, which refuses nothing";
            }
        }
    }
    return {};
}

}  // namespace

std::unique_ptr<SimHost> SimHost::open(const std::string& path, std::string& error) {
    std::string content;
    std::string reason;
    if (!readWholeFile(path, content, &reason)) {
        error = path + ": " + reason;
        return nullptr;
    }
    if (jsonNestsDeeperThan(content, kMaxNesting)) {
        error = path + ": nests deeper than " + std::to_string(kMaxNesting) + " levels";
        return nullptr;
    }
    json host = json::parse(content, nullptr, false);
    if (host.is_discarded()) {
        error = path + ": not a valid JSON document";
        return nullptr;
    }
    reason = validate(host);
    if (!reason.empty()) {
        error = path + ": " + reason;
        return nullptr;
    }
    return std::unique_ptr<SimHost>(new SimHost(path, std::move(host)));
}

std::vector<AdapterInfo> SimHost::getAdaptersInfo() {
    std::lock_guard lock(mutex_);
    std::vector<AdapterInfo> out;
    for (const json& a : adapterList(host_)) {
        AdapterInfo info;
        info.index = numberField<std::uint32_t>(a, "index");
        info.adapterName = gbkField(a, "adapterName");
        info.description = gbkField(a, "description");
        info.hwAddress = parseHwAddress(gbkField(a, "hwAddress"));
        info.type = numberField<std::uint32_t>(a, "type");
        info.dhcpEnabled = numberField<std::uint32_t>(a, "dhcpEnabled");
        info.haveWins = numberField<std::uint32_t>(a, "haveWins");
        info.leaseObtained = numberField<std::int32_t>(a, "leaseObtained");
        info.leaseExpires = numberField<std::int32_t>(a, "leaseExpires");
        info.ipAddresses = readList(a, "ipAddresses");
        info.gateways = readList(a, "gateways");
        info.dhcpServer = readList(a, "dhcpServer");
        info.primaryWins = readList(a, "primaryWins");
        info.secondaryWins = readList(a, "secondaryWins");
        out.push_back(std::move(info));
    }
    return out;
}

std::optional<std::vector<std::string>> SimHost::getPerAdapterDns(std::uint32_t adapterIndex) {
    std::lock_guard lock(mutex_);
    for (const json& a : adapterList(host_)) {
        if (numberField<std::uint32_t>(a, "index") != adapterIndex) {
            continue;
        }
        std::vector<std::string> servers;
        for (const IpAddrString& s : readList(a, "dns")) {
            servers.push_back(s.address);
        }
        return servers;
    }
    return std::nullopt;
}

std::vector<InterfaceName> SimHost::getInterfaceNames() {
    std::lock_guard lock(mutex_);
    std::vector<InterfaceName> names;
    auto interfaces = host_.find("interfaces");
    if (interfaces != host_.end()) {
        for (const json& entry : *interfaces) {
            if (entry.is_object()) {
                names.push_back(
                    {numberField<std::uint32_t>(entry, "index"), nameField(entry, "name")});
            }
        }
        return names;
    }
    for (const json& a : adapterList(host_)) {
        names.push_back({numberField<std::uint32_t>(a, "index"), nameField(a, "friendlyName")});
    }
    return names;
}

std::uint32_t SimHost::addIpAddress(const std::string& address, const std::string& mask,
                                    std::uint32_t adapterIndex) {
    return addIpAddresses({AddressToAdd{address, mask}}, adapterIndex).front();
}

std::vector<std::uint32_t> SimHost::addIpAddresses(const std::vector<AddressToAdd>& items,
                                                   std::uint32_t adapterIndex) {
    std::vector<std::uint32_t> results(items.size(), kInvalidParameter);
    std::lock_guard lock(mutex_);
    json* target = nullptr;
    std::uint32_t maxContext = 0;
    std::unordered_set<std::uint32_t> contexts;
    // Every address the host holds: one address belongs to one adapter.
    std::vector<std::uint32_t> held;
    for (json& a : mutableAdapters()) {
        if (numberField<std::uint32_t>(a, "index") == adapterIndex && target == nullptr) {
            target = &a;
        }
        for (const IpAddrString& e : readList(a, "ipAddresses")) {
            maxContext = std::max(maxContext, e.context);
            contexts.insert(e.context);
            if (const auto address = parseIpv4(e.address)) {
                held.push_back(*address);
            }
        }
    }
    const auto plan = planAddressBatch(items, held);
    const json* refuse = nullptr;
    if (auto it = host_.find("refuse"); it != host_.end() && it->is_object()) {
        refuse = &*it;
    }
    // What the rule lets through reaches the adapter; its "refuse" list answers before it adds.
    std::vector<std::size_t> toAdd;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (plan[i].code == kInvalidParameter) {
            continue;
        }
        if (target == nullptr) {
            results[i] = kNotFound;
        } else if (plan[i].code != kNoError) {
            results[i] = plan[i].code;
        } else if (refuse != nullptr && refuse->contains(items[i].address)) {
            results[i] = (*refuse)[items[i].address].get<std::uint32_t>();
        } else {
            toAdd.push_back(i);
        }
    }
    if (toAdd.empty()) {
        return results;
    }
    const json before = (*target)["ipAddresses"];
    json& list = (*target)["ipAddresses"];
    if (!list.is_array()) {
        list = json::array();
    }
    for (std::size_t i : toAdd) {
        // The element that was last now links to the new one.
        if (!list.empty() && list.back().is_object() &&
            numberField<std::uint32_t>(list.back(), "next") == 0) {
            list.back()["next"] = list.size();
        }
        list.push_back({{"address", items[i].address},
                        {"mask", items[i].mask},
                        {"context", takeContext(maxContext, contexts)}});
        results[i] = kNoError;
    }
    if (!save()) {
        // The file could not be written: the host stays as the file says.
        list = before;
        for (std::size_t i : toAdd) {
            results[i] = kWriteFault;
        }
    }
    if (before.is_null() && list.empty()) {
        target->erase("ipAddresses");
    }
    return results;
}

std::uint32_t SimHost::deleteIpAddress(std::uint32_t nteContext) {
    return deleteIpAddresses({nteContext}).front();
}

std::vector<std::uint32_t> SimHost::deleteIpAddresses(const std::vector<std::uint32_t>& contexts) {
    std::vector<std::uint32_t> results(contexts.size(), kNotFound);
    std::lock_guard lock(mutex_);
    // Where each context is, in host order: a context held twice is found again once the first
    // element that held it is gone.
    struct Place {
        json* list;
        std::size_t position;
    };
    std::unordered_map<std::uint32_t, std::deque<Place>> places;
    for (json& a : mutableAdapters()) {
        auto it = a.find("ipAddresses");
        if (it == a.end() || !it->is_array()) {
            continue;
        }
        for (std::size_t i = 0; i < it->size(); ++i) {
            const json& e = (*it)[i];
            if (e.is_object()) {
                places[numberField<std::uint32_t>(e, "context")].push_back({&*it, i});
            }
        }
    }
    std::unordered_map<json*, std::vector<bool>> gone;
    for (std::size_t i = 0; i < contexts.size(); ++i) {
        auto found = contexts[i] == 0 ? places.end() : places.find(contexts[i]);
        if (found == places.end() || found->second.empty()) {
            continue;
        }
        const Place place = found->second.front();
        found->second.pop_front();
        auto& marks = gone[place.list];
        marks.resize(place.list->size());
        marks[place.position] = true;
        results[i] = kNoError;
    }
    if (gone.empty()) {
        return results;
    }
    std::vector<std::pair<json*, json>> before;
    for (auto& [list, marks] : gone) {
        before.emplace_back(list, *list);
        json kept = json::array();
        for (std::size_t i = 0; i < list->size(); ++i) {
            if (!marks[i]) {
                kept.push_back(std::move((*list)[i]));
            }
        }
        // When the last element went, the one that is last now ends the list.
        if (marks.back() && !kept.empty() && kept.back().is_object()) {
            kept.back().erase("next");
        }
        *list = std::move(kept);
    }
    if (!save()) {
        for (auto& [list, old] : before) {
            *list = std::move(old);  // the file could not be written: nothing changes
        }
        std::replace(results.begin(), results.end(), kNoError, kWriteFault);
    }
    return results;
}

std::vector<std::int32_t> SimHost::probeAddresses(const std::vector<std::string>& addresses,
                                                  int /*timeoutMs*/) {
    std::lock_guard lock(mutex_);
    std::unordered_set<std::string> answering;
    if (auto it = host_.find("answering"); it != host_.end()) {
        for (const json& address : *it) {
            answering.insert(address.get<std::string>());
        }
    }
    std::vector<std::int32_t> results;
    results.reserve(addresses.size());
    for (const std::string& address : addresses) {
        results.push_back(answering.count(address) != 0 ? 1 : -1);
    }
    return results;
}

const json* SimHost::adapterByName(const std::string& connectionName, bool lastMatch) const {
    // An empty name names no adapter, not the first one that has no name.
    if (connectionName.empty()) {
        return nullptr;
    }
    const json* found = nullptr;
    for (const json& a : adapterList(host_)) {
        if (nameField(a, "friendlyName") == connectionName) {
            found = &a;
            if (!lastMatch) {
                break;
            }
        }
    }
    return found;
}

std::int32_t SimHost::connectionStatus(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const json* a = adapterByName(connectionName);
    return a ? numberField<std::int32_t>(*a, "status") : -1;
}

std::int32_t SimHost::mediaState(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    // The media state is the last adapter's of that name, as the platform's own list answers.
    const json* a = adapterByName(connectionName, true);
    return a ? numberField<std::int32_t>(*a, "operStatus") : 0;
}

std::int64_t SimHost::linkSpeed(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const json* a = adapterByName(connectionName);
    return a ? numberField<std::int64_t>(*a, "speed") : -1;
}

std::int32_t SimHost::mtu(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const json* a = adapterByName(connectionName);
    return a ? numberField<std::int32_t>(*a, "mtu") : -1;
}

std::optional<bool> SimHost::dhcpFlag(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const json* a = adapterByName(connectionName);
    if (a == nullptr) {
        return std::nullopt;
    }
    return obtainsAddressAutomatically(*a);
}

bool SimHost::isDhcpEnabled(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const json* a = adapterByName(connectionName, true);
    return a != nullptr && obtainsAddressAutomatically(*a);
}

bool SimHost::enableDhcp(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    configurationCalls_.push_back({connectionName, std::nullopt});
    return reconfigure(connectionName, [](json& adapter) {
        adapter["dhcpFlag"] = true;
        adapter["dhcpEnabled"] = 1;
        return std::string();
    });
}

bool SimHost::setStaticAddressing(const std::string& connectionName,
                                  const StaticAddressing& values) {
    std::lock_guard lock(mutex_);
    configurationCalls_.push_back({connectionName, values});
    return reconfigure(connectionName, [&](json& adapter) {
        for (const std::string* text : {&values.address, &values.mask, &values.gateway,
                                        &values.primaryDns, &values.secondaryDns}) {
            const bool required = text == &values.address || text == &values.mask;
            if ((required || !text->empty()) && !parseIpv4(*text)) {
                return "\"" + *text + "\" 不是有效的IPv4地址.";
            }
        }
        // One address belongs to one adapter; the new one gets a context unique on the host.
        std::uint32_t maxContext = 0;
        for (const json& a : adapterList(host_)) {
            for (const IpAddrString& e : readList(a, "ipAddresses")) {
                maxContext = std::max(maxContext, e.context);
                if (&a != &adapter && e.address == values.address) {
                    return values.address + " 已被其他网卡使用.";
                }
            }
        }
        const std::uint32_t context = maxContext + 1;
        adapter["ipAddresses"] = json::array();
        adapter["ipAddresses"].push_back(
            {{"address", values.address}, {"mask", values.mask}, {"context", context}});
        adapter["gateways"] = json::array();
        if (!values.gateway.empty()) {
            adapter["gateways"].push_back(
                {{"address", values.gateway}, {"mask", "255.255.255.255"}, {"context", context}});
        }
        adapter["dns"] = json::array();
        for (const std::string* server : {&values.primaryDns, &values.secondaryDns}) {
            if (!server->empty()) {
                adapter["dns"].push_back(*server);
            }
        }
        adapter["dhcpFlag"] = false;
        adapter["dhcpEnabled"] = 0;
        return std::string();
    });
}

std::string SimHost::lastProblem() const {
    std::lock_guard lock(mutex_);
    return lastProblem_;
}

std::vector<ConfigurationCall> SimHost::configurationCalls() const {
    std::lock_guard lock(mutex_);
    return configurationCalls_;
}

bool SimHost::reconfigure(const std::string& connectionName,
                          const std::function<std::string(json& adapter)>& change) {
    // adapterByName finds the element in host_, which this host may change.
    json* adapter = const_cast<json*>(adapterByName(connectionName));
    if (adapter == nullptr) {
        lastProblem_ = "没有连接名称为 " + connectionName + " 的网卡.";
        return false;
    }
    if (auto refused = adapter->find("configurationRefused"); refused != adapter->end()) {
        lastProblem_ = text::utf8ToGbk(refused->get<std::string>());
        return false;
    }
    json before = *adapter;
    std::string reason = change(*adapter);
    if (reason.empty() && !save(&reason)) {
        reason = "模拟主机 " + text::utf8ToGbk(path_) + " 无法写入：" + text::utf8ToGbk(reason);
    }
    if (!reason.empty()) {
        *adapter = std::move(before);  // all or nothing: the host stays as the file says
    }
    lastProblem_ = std::move(reason);
    return lastProblem_.empty();
}

json& SimHost::mutableAdapters() {
    if (!host_.contains("adapters")) {
        host_["adapters"] = json::array();
    }
    return host_["adapters"];
}

bool SimHost::save(std::string* reason) {
    return replaceFileAtomically(path_, host_.dump(2) + "\n", reason);
}

}  // namespace nicops::platform::sim
