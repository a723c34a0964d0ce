// The registry store against the registry itself (under Wine, the test prefix's own): the bytes
// it writes, what it reads back next to the file store, expandable strings, and the operations
// that persist and restore an adapter's address set through it. Every key is the test's own and
// is removed when the test ends.
#include "platform/windows/registry_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "inventory/snapshot.h"
#include "ipops/operation_fixture.h"
#include "ipops/persisted_settings.h"
#include "platform/file_store.h"
#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"

namespace nicops::platform::windows {
namespace {

using Lines = std::vector<std::string>;
using Raw = std::pair<DWORD, std::string>;  // a value's type and bytes

const std::string kInterfaces =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";

// A key of this process below `root`, removed with its sub-keys when the test ends.
class TestKey {
public:
    TestKey(HKEY root, std::string rootName, std::string path)
        : root_(root), rootName_(std::move(rootName)), path_(std::move(path)) {
        RegDeleteTreeA(root_, path_.c_str());
    }
    ~TestKey() { RegDeleteTreeA(root_, path_.c_str()); }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    // The key text the store takes: root name, backslash, path.
    std::string text() const { return rootName_ + "\\" + path_; }
    const std::string& path() const { return path_; }

    // The value's type and bytes as the registry holds them; type 0 when it can't be read.
    Raw raw(const std::string& valueName) const {
        DWORD type = 0;
        DWORD size = 0;
        if (RegGetValueA(root_, path_.c_str(), valueName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                         nullptr, &size) != ERROR_SUCCESS) {
            return {0, {}};
        }
        std::string bytes(size, '\0');
        if (RegGetValueA(root_, path_.c_str(), valueName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                         bytes.data(), &size) != ERROR_SUCCESS) {
            return {0, {}};
        }
        bytes.resize(size);
        return {type, bytes};
    }

    void set(const std::string& valueName, DWORD type, const std::string& bytes) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(root_, path_.c_str(), &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, valueName.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

private:
    HKEY root_;
    std::string rootName_;
    std::string path_;
};

// The interface keys' parent, removed when the test ends if the test made it (a fresh Wine
// prefix has none) and nothing else is below it.
class InterfacesParent {
public:
    InterfacesParent() {
        HKEY key = nullptr;
        existed_ =
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, path().c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (existed_) {
            RegCloseKey(key);
        }
    }
    ~InterfacesParent() {
        if (!existed_) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, path().c_str());  // refused while it has sub-keys
        }
    }
    InterfacesParent(const InterfacesParent&) = delete;
    InterfacesParent& operator=(const InterfacesParent&) = delete;

private:
    static std::string path() { return kInterfaces.substr(0, kInterfaces.size() - 1); }
    bool existed_ = false;
};

std::string uniqueName(const std::string& what) {
    return "nicops-test-" + what + "-" + std::to_string(GetCurrentProcessId());
}

// The bytes of a multi-string value: every item followed by a zero byte, and one more.
std::string multi(const Lines& items) {
    std::string bytes;
    for (const std::string& item : items) {
        bytes += item;
        bytes.push_back('\0');
    }
    bytes.push_back('\0');
    return bytes;
}

// The bytes of a string value: the text and its terminating zero.
std::string zeroEnded(const std::string& text) {
    return text + std::string(1, '\0');
}

TestKey userKey(const std::string& what) {
    return {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Software\\" + uniqueName(what)};
}

TEST(RegistryStore, MultiStringsAreStoredAsZeroSeparatedItemsAndReadBackWithLineBreaks) {
    const TestKey key = userKey("bytes");
    RegistryStore store;
    // The key is created on the first write.
    ASSERT_TRUE(store.writeMultiString(key.text(), "IPAddress", "a\r\nb"));
    EXPECT_EQ(key.raw("IPAddress"), (Raw{REG_MULTI_SZ, multi({"a", "b"})}));
    EXPECT_EQ(store.readMultiString(key.text(), "IPAddress"), "a\r\nb\r\n\r\n");

    ASSERT_TRUE(store.writeMultiString(key.text(), "IPAddress", ""));
    EXPECT_EQ(key.raw("IPAddress"), (Raw{REG_MULTI_SZ, std::string(2, '\0')}));
    EXPECT_EQ(store.readMultiString(key.text(), "IPAddress"), "\r\n\r\n");

    ASSERT_TRUE(store.writeMultiString(key.text(), "SubnetMask", "255.255.255.0"));
    EXPECT_EQ(key.raw("SubnetMask").second, multi({"255.255.255.0"}));
    EXPECT_EQ(store.readMultiString(key.text(), "SubnetMask"), "255.255.255.0\r\n\r\n");

    // GBK items pass the ANSI functions unchanged (code page 936).
    ASSERT_TRUE(store.writeMultiString(key.text(), "Names", "本地连接\r\n网卡"));
    EXPECT_EQ(key.raw("Names").second, multi({"本地连接", "网卡"}));
    EXPECT_EQ(store.readMultiString(key.text(), "Names"), "本地连接\r\n网卡\r\n\r\n");
    EXPECT_EQ(store.lastError(), "");
}

TEST(RegistryStore, ReadsWhatTheFileStoreReadsForTheSameWrites) {
    const TestKey key = userKey("same");
    nicops::testing::TempDir dir;
    FileStore file((dir.path() / "store.json").string());
    RegistryStore registry;
    const Lines texts = {"",          "10.0.0.5", "10.0.0.5\r\n10.0.0.6", "a\r\n", "\r\n",
                         "\r\n\r\nb", "a\rb\nc",  "网卡\r\n10.0.0.7"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string name = "Value" + std::to_string(i);
        ASSERT_TRUE(file.writeMultiString(key.text(), name, texts[i]));
        ASSERT_TRUE(registry.writeMultiString(key.text(), name, texts[i]));
    }
    // A rewrite replaces the value in both.
    ASSERT_TRUE(file.writeMultiString(key.text(), "Value1", "10.0.0.9"));
    ASSERT_TRUE(registry.writeMultiString(key.text(), "Value1", "10.0.0.9"));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string name = "Value" + std::to_string(i);
        EXPECT_EQ(registry.readMultiString(key.text(), name),
                  file.readMultiString(key.text(), name))
            << name;
    }
    // Root, key and value names without regard to case, a missing value and a missing key.
    std::string lower = key.text();
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    EXPECT_EQ(registry.readMultiString(lower, "VALUE2"), "10.0.0.5\r\n10.0.0.6\r\n\r\n");
    EXPECT_EQ(file.readMultiString(lower, "VALUE2"), "10.0.0.5\r\n10.0.0.6\r\n\r\n");
    for (const std::string& keyText : {key.text(), key.text() + "\\absent"}) {
        EXPECT_EQ(registry.readMultiString(keyText, "Absent"), "");
        EXPECT_EQ(file.readMultiString(keyText, "Absent"), "");
        EXPECT_EQ(registry.lastError(), "") << "a missing value is no failure";
    }
    // A key text that names no root: nothing is written anywhere.
    EXPECT_FALSE(registry.writeMultiString("HKEY_NOWHERE\\" + key.path(), "IPAddress", "a"));
    EXPECT_NE(registry.lastError(), "");
    EXPECT_EQ(registry.readMultiString("HKEY_NOWHERE\\" + key.path(), "Value1"), "");
    EXPECT_EQ(registry.readMultiString("HKEY_CURRENT_USER\\" + key.path(), "Value1"),
              "10.0.0.9\r\n\r\n");
}

TEST(RegistryStore, TextValuesAreReadUpToTheirEndAndExpandableOnesExpanded) {
    const TestKey key = userKey("text");
    ASSERT_TRUE(SetEnvironmentVariableA("NICOPS_STORE_TEST", "C:\\nicops 数据"));
    key.set("Plain", REG_SZ, zeroEnded("255.255.240.0"));
    key.set("Expandable", REG_EXPAND_SZ, zeroEnded("%NICOPS_STORE_TEST%\\x"));
    key.set("Root", REG_EXPAND_SZ, zeroEnded("%SystemRoot%\\system32"));
    key.set("Unknown", REG_EXPAND_SZ, zeroEnded("%NICOPS_NOT_SET%"));
    key.set("List", REG_MULTI_SZ, multi({"a", "b"}));
    key.set("Number", REG_DWORD, std::string("\x05\0\0", 4));
    char systemRoot[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("SystemRoot", systemRoot, MAX_PATH), 0U);

    RegistryStore store;
    const auto read = [&](const std::string& valueName) {
        return store.readTextValue(kHkeyCurrentUser, key.path() + "\\" + valueName);
    };
    EXPECT_EQ(read("Plain"), "255.255.240.0");
    EXPECT_EQ(read("Expandable"), "C:\\nicops 数据\\x");
    EXPECT_EQ(read("Root"), std::string(systemRoot) + "\\system32");
    EXPECT_EQ(read("Unknown"), "%NICOPS_NOT_SET%") << "an unknown variable stays as it is";
    EXPECT_EQ(read("List"), "") << "not a string value";
    EXPECT_EQ(read("Number"), "");
    EXPECT_EQ(read("Absent"), "");
    EXPECT_EQ(store.readTextValue(kHkeyCurrentUser, key.path() + "\\absent\\Plain"), "");
    EXPECT_EQ(store.lastError(), "");
    EXPECT_EQ(store.readTextValue(0x80000009U, key.path() + "\\Plain"), "") << "no such root";
    SetEnvironmentVariableA("NICOPS_STORE_TEST", nullptr);
}

// A volatile key takes only volatile sub-keys: RegCreateKeyA is refused there.
void makeVolatile(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(RegistryStore, ARefusedWriteFailsWithTheRegistrysAnswerCode) {
    const TestKey key = userKey("refused");
    makeVolatile(HKEY_CURRENT_USER, key.path());
    RegistryStore store;
    EXPECT_FALSE(store.writeMultiString(key.text() + "\\child", "IPAddress", "10.0.0.5"));
    EXPECT_EQ(store.lastError(), "注册表 " + key.text() + "\\child 无法打开：返回代码1021");
    // A value name longer than the registry takes: RegSetValueExA refuses it.
    EXPECT_FALSE(store.writeMultiString(key.text(), std::string(20000, 'v'), "10.0.0.5"));
    EXPECT_NE(store.lastError().find("无法写入：返回代码"), std::string::npos) << store.lastError();
    ASSERT_TRUE(store.writeMultiString(key.text(), "IPAddress", "10.0.0.5"));
    EXPECT_EQ(store.lastError(), "") << "a write that succeeds clears the reason";
}

// ---- the operations over the registry ------------------------------------------------------

// Two adapters of a simulated host whose names are this process's own interface keys.
class RegistryOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string description = R"({"adapters": [
          {"index": 12, "adapterName": ")" +
                                        first_ + R"(",
           "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5},
                           {"address": "10.0.0.6", "mask": "255.255.0.0", "context": 6}]},
          {"index": 13, "adapterName": ")" +
                                        second_ + R"(",
           "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 7}]}]})";
        std::string error;
        sim_ = sim::SimHost::open(dir_.write("host.json", description), error);
        ASSERT_NE(sim_, nullptr) << error;
        inventory::buildAdapterSnapshot(*sim_, snapshot_);
        host_ = std::make_unique<ipops::RecordingHost>(*sim_, snapshotMutex_, snapshot_, 12);
    }

    ipops::OperationServices services() {
        return {*sim_, *sim_, store_, snapshotMutex_, snapshot_};
    }

    nicops::testing::TempDir dir_;
    std::string first_ = uniqueName("first");
    std::string second_ = uniqueName("second");
    InterfacesParent parent_;
    TestKey firstKey_{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kInterfaces + first_};
    TestKey secondKey_{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kInterfaces + second_};
    RegistryStore store_;
    std::unique_ptr<sim::SimHost> sim_;
    std::mutex snapshotMutex_;
    inventory::AdapterSnapshot snapshot_;
    std::unique_ptr<ipops::RecordingHost> host_;
};

TEST_F(RegistryOperationTest, TheAddressSetIsPersistedInTheInterfaceKeyAndRestoredFromIt) {
    ipops::persistAddresses(services(), *host_);
    EXPECT_EQ(host_->takeLog(), ipops::storedLines());
    EXPECT_EQ(firstKey_.raw("IPAddress"), (Raw{REG_MULTI_SZ, multi({"10.0.0.5", "10.0.0.6"})}));
    EXPECT_EQ(firstKey_.raw("SubnetMask").second, multi({"255.255.255.0", "255.255.0.0"}));
    EXPECT_EQ(secondKey_.raw("IPAddress").first, 0U) << "other adapters' keys are not touched";

    // The add dialog's mask: the DHCP mask first (a string value), else the first stored mask.
    EXPECT_EQ(ipops::loadDefaultMask(services(), 12), "255.255.255.0");
    firstKey_.set("DhcpSubnetMask", REG_SZ, zeroEnded("255.255.252.0"));
    EXPECT_EQ(ipops::loadDefaultMask(services(), 12), "255.255.252.0");

    // The running host loses an address: restore brings it back with its stored mask; the
    // second adapter has no key, which is no failure worth a line.
    ASSERT_EQ(sim_->deleteIpAddress(6), 0U);
    ipops::restoreAddresses(services(), *host_);
    EXPECT_EQ(host_->takeLog(),
              (Lines{"<busy>", "开始恢复IP....", "恢复IP-地址 10.0.0.6 成功.", "刷新显示完成.",
                     "恢复IP完成，恢复成功1，恢复失败0。", "</busy>"}));
    const auto adapters = sim_->getAdaptersInfo();
    ASSERT_FALSE(adapters.empty());
    ASSERT_EQ(adapters[0].ipAddresses.size(), 2U);
    EXPECT_EQ(adapters[0].ipAddresses[1].address, "10.0.0.6");
    EXPECT_EQ(adapters[0].ipAddresses[1].mask, "255.255.0.0");
}

TEST_F(RegistryOperationTest, ARefusedKeyGivesBothFailureLinesAndTheReasonOnce) {
    // The current adapter's key can't be created: its parent is volatile.
    host_.reset();
    sim_.reset();
    const std::string parent = uniqueName("volatile");
    const TestKey parentKey{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kInterfaces + parent};
    makeVolatile(HKEY_LOCAL_MACHINE, parentKey.path());
    std::string error;
    sim_ = sim::SimHost::open(
        dir_.write("refused.json", R"({"adapters": [{"index": 12, "adapterName": ")" + parent +
                                       R"(\\child", "ipAddresses": [{"address": "10.0.0.5",
                                       "mask": "255.255.255.0", "context": 5}]}]})"),
        error);
    ASSERT_NE(sim_, nullptr) << error;
    inventory::buildAdapterSnapshot(*sim_, snapshot_);
    host_ = std::make_unique<ipops::RecordingHost>(*sim_, snapshotMutex_, snapshot_, 12);
    ipops::persistAddresses(services(), *host_);
    EXPECT_EQ(host_->takeLog(),
              (Lines{"开始刷新系统储存...", "储存IP地址失败！",
                     "注册表 " + parentKey.text() + "\\child 无法打开：返回代码1021",
                     "储存子网掩码失败！"}));
}

}  // namespace
}  // namespace nicops::platform::windows
