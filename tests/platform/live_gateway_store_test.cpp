#include "platform/live_gateway_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/file_store.h"
#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"

namespace nicops::platform {
namespace {

using nicops::testing::TempDir;

TEST(LiveGatewayStoreTest, GatewayValuesAreTheAdaptersLiveOnesAndTheRestIsStored) {
    TempDir dir;
    std::string error;
    auto sim = sim::SimHost::open(dir.write("host.json", R"({"adapters": [
      {"index": 1, "adapterName": "eth0", "friendlyName": "lan",
       "gateways": ["10.0.0.1", {"address": "10.0.0.2", "context": 7}]},
      {"index": 2, "adapterName": "eth1"}]})"),
                                  error);
    ASSERT_NE(sim, nullptr) << error;
    const std::string storePath = (dir.path() / "store.json").string();
    LiveGatewayStore store(std::make_unique<FileStore>(storePath), *sim);
    const std::string eth0 = std::string(kTcpipInterfacesKey) + "eth0";

    EXPECT_EQ(store.readMultiString(eth0, "DefaultGateway"), "10.0.0.1\r\n10.0.0.2\r\n\r\n");
    EXPECT_EQ(store.readMultiString(eth0, "dhcpdefaultgateway"), "10.0.0.1\r\n10.0.0.2\r\n\r\n");
    EXPECT_EQ(store.readMultiString(std::string(kTcpipInterfacesKey) + "eth1", "DefaultGateway"),
              "\r\n\r\n");  // an adapter without a gateway
    EXPECT_EQ(store.readMultiString(std::string(kTcpipInterfacesKey) + "eth9", "DefaultGateway"),
              "");
    // The values follow the adapter, not what was stored.
    ASSERT_TRUE(store.writeMultiString(eth0, "DefaultGateway", "10.9.9.9"));
    ASSERT_TRUE(
        sim->setStaticAddressing("lan", {"10.0.0.5", "255.255.255.0", "10.0.0.254", "", ""}));
    EXPECT_EQ(store.readMultiString(eth0, "DefaultGateway"), "10.0.0.254\r\n\r\n");

    // Every other value is the file store's.
    ASSERT_TRUE(store.writeMultiString(eth0, "IPAddress", "10.0.0.5"));
    EXPECT_EQ(store.readMultiString(eth0, "IPAddress"), "10.0.0.5\r\n\r\n");
    EXPECT_EQ(FileStore(storePath).readMultiString(eth0, "IPAddress"), "10.0.0.5\r\n\r\n");
    ASSERT_TRUE(store.writeMultiString("HKEY_CURRENT_USER\\Software\\x", "DefaultGateway", "1"));
    EXPECT_EQ(store.readMultiString("HKEY_CURRENT_USER\\Software\\x", "DefaultGateway"),
              "1\r\n\r\n");
    EXPECT_FALSE(store.writeMultiString("NOWHERE\\x", "IPAddress", "1"));
    EXPECT_NE(store.lastError().find(storePath), std::string::npos);
}

}  // namespace
}  // namespace nicops::platform
