// Libcurl.dll under Wine: start-up writing the image the program carries, and the lookup through
// the DLL against nicops-echo on loopback (tests/windows/with-echo starts the endpoint and names
// it in NICOPS_ECHO_URL; without it those tests skip).
#include "external/http_library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "external/address_lookup.h"
#include "ipops/operation_fixture.h"
#include "platform/windows/program_files.h"
#include "support/joined_workers.h"
#include "support/temp_dir.h"
#include "ui/recording_view.h"

namespace nicops::external {
namespace {

using nicops::testing::TempDir;
using Lines = std::vector<std::string>;

// The file's attributes but archive: Wine reports every regular file as archive whatever was
// set (Windows itself keeps exactly what was set).
DWORD attributesOf(const std::filesystem::path& file) {
    return GetFileAttributesW(file.wstring().c_str()) & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
}

std::string imageText() {
    const auto image = platform::windows::programResource("LIBCURL_DLL");
    return {reinterpret_cast<const char*>(image.data()), image.size()};
}

TEST(EnsureHttpLibraryTest, AMissingLibraryIsWrittenFromTheImageAndHidden) {
    TempDir dir;
    const auto file = dir.path() / "Libcurl.dll";
    ASSERT_GT(imageText().size(), 100'000U);  // the program carries the DLL
    ASSERT_TRUE(ensureHttpLibrary(dir.path().string()));
    EXPECT_EQ(TempDir::read(file.string()), imageText());
    EXPECT_EQ(attributesOf(file), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    // Nothing but the library is left in the folder, and what was written is a working DLL.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    void* dll = platform::windows::loadLibraryBesideProgram("Libcurl.dll", dir.path().string());
    ASSERT_NE(dll, nullptr);
    EXPECT_NE(platform::windows::libraryFunction(dll, "curl_multi_poll"), nullptr);
}

TEST(EnsureHttpLibraryTest, APresentLibraryStaysAsItIsAReadOnlyOneTooAndIsOnlyHidden) {
    TempDir dir;
    const std::string file = dir.write("Libcurl.dll", "an older build");
    ASSERT_NE(SetFileAttributesW(std::filesystem::path(file).wstring().c_str(),
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              0);
    EXPECT_TRUE(ensureHttpLibrary(dir.path().string()));
    EXPECT_EQ(TempDir::read(file), "an older build");
    EXPECT_EQ(attributesOf(file), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesW(std::filesystem::path(file).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A folder the library can't be written to (here one that isn't there): start-up shows the
// message and goes no further.
TEST(EnsureHttpLibraryTest, WhenTheLibraryCannotBeWrittenStartUpShowsTheMessageAndEnds) {
    TempDir dir;
    const std::string nowhere = (dir.path() / "gone" / "deeper").string();
    EXPECT_FALSE(ensureHttpLibrary(nowhere));
    EXPECT_FALSE(std::filesystem::exists(nowhere));

    std::string error;
    auto sim = platform::sim::SimHost::open(dir.write("host.json", ipops::kTwoAdapters), error);
    ASSERT_NE(sim, nullptr) << error;
    ui::AppContext context(*sim);
    context.httpLibraryUsable = [&] { return ensureHttpLibrary(nowhere); };
    ui::RecordingView view;
    nicops::testing::JoinedWorkers workers;
    ui::MainPresenter presenter(context, view, workers.starter());
    EXPECT_FALSE(presenter.startUp((dir.path() / "UserConfig.ini").string()));
    workers.join();
    view.pump();
    EXPECT_EQ(view.get(&ui::RecordingView::messages_), (Lines{"错误|缺少 Libcurl.dll"}));
    EXPECT_TRUE(view.logMessages().empty());
}

// The endpoint nicops-echo answers at, or "" outside tests/windows/with-echo.
std::string echoUrl() {
    const char* url = std::getenv("NICOPS_ECHO_URL");
    return url == nullptr ? std::string() : std::string(url);
}

settings::AppSettings echoSettings() {
    settings::AppSettings s;
    s.lookupServer = echoUrl();
    s.connectTimeoutMs = 5000;
    s.requestTimeoutMs = 5000;
    s.locationFormat = "[{国家}|{线路}]";
    return s;
}

TEST(LookupThroughDllTest, EachRequestLeavesFromItsOwnAddress) {
    if (echoUrl().empty()) {
        GTEST_SKIP() << "no endpoint (run through tests/windows/with-echo)";
    }
    ASSERT_NE(httpLibrary(), nullptr) << "Libcurl.dll beside the test program";
    for (const char* local : {"127.0.0.2", "127.0.0.3", "127.0.0.1"}) {
        std::string external = "old";
        std::string location = "old place";
        EXPECT_TRUE(lookupExternalAddress(local, echoSettings(), external, location)) << local;
        EXPECT_EQ(external, local);
        EXPECT_EQ(location, "[|]");  // the endpoint has no location database here
    }
    // Nothing listens on port 1: refused, both results as they were.
    settings::AppSettings refused = echoSettings();
    refused.lookupServer = "http://127.0.0.1:1";
    std::string external = "old";
    std::string location = "old place";
    EXPECT_FALSE(lookupExternalAddress("127.0.0.2", refused, external, location));
    EXPECT_EQ(external + "|" + location, "old|old place");
}

// Records what the query tells the window.
class QueryHost final : public ipops::OperationHost {
public:
    void appendLog(std::string_view message) override {
        std::lock_guard lock(mutex_);
        log.emplace_back(message);
    }
    void setBusy(bool) override {}
    void refreshDisplay() override {}
    void showCurrentAdapter() override {}
    std::uint32_t currentAdapterIndex() const override { return 12; }

    Lines log;

private:
    std::mutex mutex_;
};

class QueryThroughDllTest : public ipops::OperationTest {
protected:
    void SetUp() override {
        if (echoUrl().empty()) {
            GTEST_SKIP() << "no endpoint (run through tests/windows/with-echo)";
        }
        openHost(12, R"({"adapters": [
          {"index": 12, "adapterName": "eth0",
           "ipAddresses": [{"address": "127.0.0.2", "mask": "255.0.0.0", "context": 5},
                           {"address": "127.0.0.3", "mask": "255.0.0.0", "context": 6}]},
          {"index": 13, "adapterName": "eth1",
           "ipAddresses": [{"address": "127.0.0.4", "mask": "255.0.0.0", "context": 7},
                           {"address": "127.0.0.5", "mask": "255.0.0.0", "context": 8},
                           {"address": "127.0.0.6", "mask": "255.0.0.0", "context": 9}]}]})");
    }

    // The summary line of one query, after the entries were emptied.
    std::string query(int concurrency) {
        {
            std::lock_guard lock(snapshotMutex_);
            inventory::buildAdapterSnapshot(*sim_, snapshot_);
        }
        settings::AppSettings s = echoSettings();
        s.lookupConcurrency = concurrency;
        settings::SharedSettings shared(s);
        QueryHost host;
        queryExternalAddresses(services(), host, shared);
        return host.log.back();
    }

    // "address external" of every entry.
    Lines results() {
        Lines out;
        for (const auto& [address, entry] : snapshot_.addresses) {
            out.push_back(address + " " + entry.externalAddress);
        }
        return out;
    }
};

TEST_F(QueryThroughDllTest, OneAtATimeAndConcurrentlyEveryAddressGetsItsOwnAnswer) {
    const Lines expected = {"127.0.0.2 127.0.0.2", "127.0.0.3 127.0.0.3", "127.0.0.4 127.0.0.4",
                            "127.0.0.5 127.0.0.5", "127.0.0.6 127.0.0.6"};
    const std::string summary = "查询所有网卡IP对应外网IP完毕,共计查询5个,查询成功5个.";
    for (int concurrency : {1, 3, 8}) {
        EXPECT_EQ(query(concurrency), summary) << concurrency;
        EXPECT_EQ(results(), expected) << concurrency;
    }
}

}  // namespace
}  // namespace nicops::external
