// The simulated host's file, any bytes: a file that opens answers every query, and a change
// written back reads again as the host held it in memory; an added address is held by its
// adapter with its mask and a context of its own, and deleting it gives the old addresses back.
#include <cstdint>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/sim/sim_host.h"

using namespace nicops::platform;

namespace {

void describeList(std::string& out, const std::vector<IpAddrString>& list) {
    for (const auto& e : list) {
        out += e.address + "/" + e.mask + "/" + std::to_string(e.context) + ";";
    }
    out += "|";
}

// Everything the adapter list says but the links between list elements.
std::string describe(sim::SimHost& host) {
    std::string out;
    for (const auto& a : host.getAdaptersInfo()) {
        out += std::to_string(a.index) + "," + a.adapterName + "," + a.description + "," +
               std::to_string(a.type) + "," + std::to_string(a.dhcpEnabled) + "," +
               std::to_string(a.haveWins) + "," + std::to_string(a.leaseObtained) + "," +
               std::to_string(a.leaseExpires) + "," + std::to_string(a.hwAddress.size()) + ":";
        describeList(out, a.ipAddresses);
        describeList(out, a.gateways);
        describeList(out, a.dhcpServer);
        describeList(out, a.primaryWins);
        describeList(out, a.secondaryWins);
        out += "\n";
    }
    for (const auto& name : host.getInterfaceNames()) {
        out += std::to_string(name.index) + "=" + name.friendlyName + "\n";
    }
    return out;
}

std::unique_ptr<sim::SimHost> reopen(const std::string& path) {
    std::string error;
    auto host = sim::SimHost::open(path, error);
    FUZZ_CHECK(host != nullptr);
    return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = nicops::fuzz::scratchFolder() + "/host.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << nicops::fuzz::inputText(data, size);
    std::string error;
    auto host = sim::SimHost::open(path, error);
    if (host == nullptr) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    const auto adapters = host->getAdaptersInfo();
    std::vector<std::string> probed;
    for (const auto& adapter : adapters) {
        (void)host->getPerAdapterDns(adapter.index);
        for (const auto& e : adapter.ipAddresses) {
            probed.push_back(e.address);
        }
    }
    FUZZ_CHECK(host->probeAddresses(probed, 30).size() == probed.size());
    for (const auto& name : host->getInterfaceNames()) {
        (void)host->connectionStatus(name.friendlyName);
        (void)host->mediaState(name.friendlyName);
        (void)host->linkSpeed(name.friendlyName);
        (void)host->mtu(name.friendlyName);
        (void)host->dhcpFlag(name.friendlyName);
        (void)host->isDhcpEnabled(name.friendlyName);
    }
    if (adapters.empty()) {
        return 0;
    }

    // An address no adapter holds, added to the first adapter and deleted again.
    const std::string before = describe(*host);
    const std::uint32_t index = adapters.front().index;
    const std::string address = "10.254.253.252";
    const auto codes =
        host->addIpAddresses({{address, "255.255.0.0"}, {address, "255.0.0.0"}}, index);
    FUZZ_CHECK(codes.size() == 2 && codes[1] != kNoError);
    if (codes[0] != kNoError) {
        FUZZ_CHECK(describe(*host) == before);
        return 0;
    }
    const std::string added = describe(*host);
    FUZZ_CHECK(describe(*reopen(path)) == added);
    std::uint32_t context = 0;
    std::set<std::uint32_t> contexts;
    for (const auto& adapter : host->getAdaptersInfo()) {
        for (const auto& e : adapter.ipAddresses) {
            if (e.address == address) {
                FUZZ_CHECK(context == 0 && adapter.index == index && e.mask == "255.255.0.0");
                context = e.context;
            } else {
                contexts.insert(e.context);
            }
        }
    }
    FUZZ_CHECK(context != 0 && contexts.count(context) == 0);
    FUZZ_CHECK(host->deleteIpAddress(context) == kNoError);
    FUZZ_CHECK(describe(*host) == before);
    FUZZ_CHECK(describe(*reopen(path)) == before);
    return 0;
}
