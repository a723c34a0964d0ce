// Wiring the backend choice into the application context: the choice's services where it has
// them, the stand-ins where it hasn't.
#include <gtest/gtest.h>

#include "app/backend_choice.h"
#include "platform/file_store.h"
#ifdef _WIN32
#include "platform/windows/registry_store.h"
#endif
#include "support/temp_dir.h"
#include "ui/app_context.h"

namespace {

using nicops::testing::TempDir;

TEST(BackendWiring, TheChoicesServicesAreWiredAndAMissingOneKeepsItsStandIn) {
    TempDir dir;
    const std::string host = dir.write("host.json", nicops::testing::demoHostText());
    nicops::app::BackendChoice choice = nicops::app::chooseBackend(host);
    ASSERT_TRUE(choice.backend) << choice.error;
    {
        nicops::ui::AppContext context(*choice.backend);
        nicops::app::wire(context, choice);
        EXPECT_EQ(context.probe, choice.probe);
        EXPECT_EQ(context.store, choice.store.get());
        EXPECT_EQ(context.configuration, choice.configuration);
    }
    // A platform without an in-use probe or an adapter configuration.
    choice.probe = nullptr;
    choice.configuration = nullptr;
    nicops::ui::AppContext context(*choice.backend);
    nicops::app::wire(context, choice);
    ASSERT_NE(context.probe, nullptr);
    EXPECT_EQ(context.probe->probeAddresses({"10.0.0.5", "10.0.0.6"}, 30),
              (std::vector<std::int32_t>{-1, -1}))
        << "-1: no probe possible, so the add goes ahead";
    ASSERT_NE(context.configuration, nullptr);
    EXPECT_FALSE(context.configuration->enableDhcp("12"));
    EXPECT_EQ(context.store, choice.store.get());
}

#ifdef _WIN32
// The Windows host's choice comes with the echo probe, and the programs wire it: loopback
// answers (nothing else is sent outside a namespace of the test's own).
TEST(BackendWiring, TheWindowsHostsChoiceGetsTheEchoProbe) {
    TempDir dir;
    nicops::app::BackendChoice choice =
        nicops::app::chooseBackend("", (dir.path() / "store.json").string());
    ASSERT_TRUE(choice.backend) << choice.error;
    ASSERT_NE(choice.probe, nullptr);
    nicops::ui::AppContext context(*choice.backend);
    nicops::app::wire(context, choice);
    EXPECT_EQ(context.probe, choice.probe);
    EXPECT_GE(context.probe->probeAddressInUse("127.0.0.1", 1000), 0);
}

// The Windows programs keep the address sets in the registry unless --store names a file; a
// simulated host's go to the file beside it, so a demo never writes the registry.
TEST(BackendWiring, TheWindowsHostsStoreIsTheRegistryUnlessAFileIsNamed) {
    const auto registry = nicops::app::chooseBackend("");
    ASSERT_TRUE(registry.backend) << registry.error;
    EXPECT_NE(dynamic_cast<nicops::platform::windows::RegistryStore*>(registry.store.get()),
              nullptr);
    EXPECT_EQ(registry.storePath, nicops::app::kRegistryStoreName);

    TempDir dir;
    const std::string key = "HKEY_CURRENT_USER\\Software\\nicops-test-backend-choice";
    const std::string named = (dir.path() / "named.json").string();
    const std::string host = dir.write("host.json", nicops::testing::demoHostText());
    const auto check = [&](const nicops::app::BackendChoice& choice, const std::string& file) {
        ASSERT_TRUE(choice.backend) << choice.error;
        EXPECT_EQ(choice.storePath, file);
        ASSERT_TRUE(choice.store->writeMultiString(key, "IPAddress", "10.0.0.5"));
        EXPECT_EQ(nicops::platform::FileStore(file).readMultiString(key, "IPAddress"),
                  "10.0.0.5\r\n\r\n");
        EXPECT_EQ(registry.store->readMultiString(key, "IPAddress"), "")
            << "nothing reached the registry";
    };
    check(nicops::app::chooseBackend("", named), named);
    check(nicops::app::chooseBackend(host), host + ".store.json");
}
#endif

}  // namespace
