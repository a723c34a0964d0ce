// The window's privileged path for real: a window process of an unprivileged user drives the add
// dialog's and the delete's presenters, whose changes go through pkexec to the build's nicopsctl,
// on a veth link of a network namespace the test made.
//
// polkit is the machine's own, started privately: the test runs this binary again inside the
// namespace with a private mount namespace, where a folder of its own is bound over /run/dbus
// (pkexec reaches the system bus only at its fixed path) and another over polkit's actions folder,
// holding one test action whose exec path is the build's nicopsctl. A system bus and polkitd are
// started there, and the run itself is made as nobody. The machine's bus, actions and links are
// never touched.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/backend_choice.h"
#include "app/privileged_changes.h"
#include "linux/dhcp_lab.h"
#include "platform/file_store.h"
#include "ui/add_range_presenter.h"
#include "ui/recording_view.h"
#include "ui/tcpip_properties_presenter.h"

namespace {

namespace fs = std::filesystem;
using nicops::linux_test::shellQuote;

// Set only in the run inside the lab: the lab's folder.
constexpr const char* kLabVariable = "NICOPS_PRIVILEGED_LAB";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string skipReason() {
    if (auto reason = nicops::linux_test::namespaceSkipReason(); !reason.empty()) {
        return reason;
    }
    struct stat pkexec {};
    if (::stat("/usr/bin/pkexec", &pkexec) != 0 || (pkexec.st_mode & S_ISUID) == 0) {
        return "needs a setuid /usr/bin/pkexec (package pkexec)";
    }
    if (!fs::exists("/usr/lib/polkit-1/polkitd") ||
        !fs::is_directory("/usr/share/polkit-1/actions")) {
        return "needs polkitd (package polkitd)";
    }
    // The folders and the file the lab binds its own over.
    if (!fs::is_directory("/run/dbus") || !fs::is_regular_file("/etc/resolv.conf")) {
        return "needs the folder /run/dbus and the file /etc/resolv.conf to bind the lab's over";
    }
    if (nicops::linux_test::runCommand("command -v dbus-daemon && command -v dbus-send && "
                                       "command -v setpriv && getent passwd nobody")
            .status != 0) {
        return "needs dbus-daemon, dbus-send, setpriv and the user nobody";
    }
    return {};
}

// The test action: the build's nicopsctl, allowed to anybody without asking, or to nobody.
std::string policy(bool allowed) {
    const std::string answer = allowed ? "yes" : "no";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration "
           "1.0//EN\" \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">\n"
           "<policyconfig>\n  <action id=\"org.nicops.nicopsctl\">\n"
           "    <message>test</message>\n    <defaults><allow_any>" +
           answer + "</allow_any><allow_inactive>" + answer + "</allow_inactive><allow_active>" +
           answer +
           "</allow_active></defaults>\n"
           "    <annotate key=\"org.freedesktop.policykit.exec.path\">" +
           fs::canonical(NICOPSCTL_PATH).string() + "</annotate>\n  </action>\n</policyconfig>\n";
}

class PrivilegedPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (variable(kLabVariable).empty()) {
            if (auto reason = skipReason(); !reason.empty()) {
                GTEST_SKIP() << reason;
            }
        }
    }

    // The lab: lab0 with 10.79.0.5/24 and a default route via 10.79.0.1 (a gateway row).
    void buildLab(bool allowed) {
        netns_.emplace();
        lab_.emplace("nicops-privileged-lab");
        ASSERT_TRUE(netns_->created());
        netns_->ip("link add lab0 type veth peer name lab1");
        netns_->ip("addr add 10.79.0.5/24 dev lab0");
        netns_->ip("link set lab0 up");
        netns_->ip("link set lab1 up");
        netns_->ip("route add default via 10.79.0.1 dev lab0");
        fs::create_directories(lab_->path / "dbus");
        fs::create_directories(lab_->path / "actions");
        std::ofstream(lab_->path / "actions/org.nicops.nicopsctl.policy") << policy(allowed);
        std::ofstream(lab_->path / "resolv.conf") << "nameserver 203.0.113.99\n";
        fs::permissions(lab_->path, fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    }

    // Runs this test again as nobody in the lab; whether it passed there, with its output.
    ::testing::AssertionResult passesAsNobody() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string lab = lab_->path.string();
        const auto at = [&](const char* name) { return shellQuote(lab + "/" + name); };
        const std::string command =
            "unset DBUS_SYSTEM_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS; "
            "mount --bind " +
            at("dbus") + " /run/dbus && mount --bind " + at("actions") +
            " /usr/share/polkit-1/actions && mount --bind " + at("resolv.conf") +
            " /etc/resolv.conf && dbus-daemon --system --fork --print-pid > " + at("dbus.pid") +
            " || exit 99\n"
            "/usr/lib/polkit-1/polkitd --no-debug > " +
            at("polkitd.log") +
            " 2>&1 & polkitd=$!\n"
            "i=0; until dbus-send --system --print-reply --dest=org.freedesktop.DBus / "
            "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null | "
            "grep -q 'boolean true'; do i=$((i+1)); [ $i -gt 200 ] && break; sleep 0.05; done\n"
            "setpriv --reuid=nobody --regid=nogroup --clear-groups env " +
            std::string(kLabVariable) + "=" + shellQuote(lab) + " " +
            shellQuote(fs::read_symlink("/proc/self/exe").string()) + " " +
            shellQuote(std::string("--gtest_filter=") + test->test_suite_name() + "." +
                       test->name()) +
            " > " + at("run.log") +
            " 2>&1; status=$?\n"
            "kill $polkitd; kill $(cat " +
            at("dbus.pid") + "); exit $status\n";
        const auto run =
            netns_->exec("exec unshare --mount --propagation private sh -c " + shellQuote(command));
        const std::string output = nicops::linux_test::readText(lab_->path / "run.log");
        if (run.status == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "exit status " << run.status << " as nobody:\n"
                                             << run.output << output;
    }

    // Inside the lab, as nobody: the window's parts as the program puts them together, its
    // adapter box on lab0 and the gateway rows shown too.
    void openWindow() {
        // Nothing may run before the run sees the lab's resolver file: the static switch writes it.
        struct stat seen {};
        struct stat lab {};
        ASSERT_EQ(::stat("/etc/resolv.conf", &seen), 0);
        ASSERT_EQ(::stat((variable(kLabVariable) + "/resolv.conf").c_str(), &lab), 0);
        ASSERT_TRUE(seen.st_dev == lab.st_dev && seen.st_ino == lab.st_ino);
        const std::string store = variable(kLabVariable) + "/store.json";
        choice_ = nicops::app::chooseBackend("", store);
        ASSERT_NE(choice_.backend, nullptr) << choice_.error;
        choice_.privileged = nicops::app::privilegedChanges(NICOPSCTL_PATH, "", store);
        ASSERT_NE(choice_.privileged, nullptr) << "nobody lacks CAP_NET_ADMIN, pkexec is here";
        context_ = std::make_unique<nicops::ui::AppContext>(*choice_.backend);
        nicops::app::wire(*context_, choice_);
        presenter_ =
            std::make_unique<nicops::ui::MainPresenter>(*context_, view_, workers_.starter());
        presenter_->setKindChecked(nicops::inventory::AddressKind::gateway, true);
        presenter_->firstDisplay();
        const auto items = presenter_->comboItems();
        const auto lab0 = std::find_if(items.begin(), items.end(),
                                       [](const auto& item) { return item.text == "lab0"; });
        ASSERT_NE(lab0, items.end());
        presenter_->selectAdapter(static_cast<int>(lab0 - items.begin()));
        settle();
    }

    void settle() {
        workers_.join();
        view_.pump();
    }

    // The log's messages since the last call.
    std::vector<std::string> newMessages() {
        const auto all = view_.logMessages();
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

    // The add dialog's "确定" with these lines.
    void add(const std::string& lines) {
        nicops::ui::RecordingForm form(nicops::ui::kAddDialogControls);
        nicops::ui::AddRangePresenter dialog(*presenter_, form);
        form.text(nicops::ui::add_names::kRangeBox) = lines;
        dialog.startAdd();
        settle();
    }

    // The list's rows showing these addresses selected, and "删除 IP-地址".
    void deleteRows(const std::vector<std::string>& addresses) {
        const auto rows = presenter_->rows();
        std::vector<std::size_t> selected;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::string& shown = rows[r].cells[nicops::ui::list_column::kAddress];
            if (std::find(addresses.begin(), addresses.end(), shown) != addresses.end()) {
                selected.push_back(r);
            }
        }
        ASSERT_EQ(selected.size(), addresses.size());
        presenter_->listSelectionChanged(selected);
        presenter_->deleteChosen();
        settle();
    }

    std::vector<std::string> shownAddresses() {
        std::vector<std::string> shown;
        for (const auto& row : presenter_->rows()) {
            shown.push_back(row.cells[nicops::ui::list_column::kAddress]);
        }
        return shown;
    }

    static long count(const std::vector<std::string>& lines, const std::string& line) {
        return std::count(lines.begin(), lines.end(), line);
    }

    // Made outside the lab only.
    std::optional<nicops::linux_test::Netns> netns_;
    std::optional<nicops::linux_test::TempFolder> lab_;
    nicops::app::BackendChoice choice_;
    std::unique_ptr<nicops::ui::AppContext> context_;
    nicops::ui::RecordingView view_;
    nicops::testing::JoinedWorkers workers_;
    std::unique_ptr<nicops::ui::MainPresenter> presenter_;
    std::size_t seen_ = 0;
};

// Authorised: the add and the delete change the link and the store, the pane shows nicopsctl's
// lines once each (its refresh's included, none of the window's reload), and the list shows the
// link as it is afterwards; the properties dialog's static switch gives the link its values and
// logs nothing.
TEST_F(PrivilegedPathTest, AnAuthorisedChangeRunsInNicopsctlAndItsLinesReachThePane) {
    if (variable(kLabVariable).empty()) {
        EXPECT_EQ(nicops::app::privilegedChanges(NICOPSCTL_PATH, "", ""), nullptr)
            << "root changes the host in its own process";
        buildLab(true);
        ASSERT_TRUE(passesAsNobody());
        EXPECT_EQ(netns_->ipv4Addresses("lab0"), (std::vector<std::string>{"10.79.0.77/24"}));
        EXPECT_EQ(nicops::linux_test::defaultRoutesOf(*netns_, "lab0"),
                  (std::vector<std::string>{"via 10.79.0.254"}));
        EXPECT_EQ(nicops::linux_test::nameserversIn(
                      nicops::linux_test::readText(lab_->path / "resolv.conf")),
                  (std::vector<std::string>{"203.0.113.5", "203.0.113.6"}));
        return;
    }
    openWindow();
    newMessages();
    add("10.79.0.{20-21}\r\n10.79.0.5");
    const auto added = newMessages();
    ASSERT_GE(added.size(), 5U);
    EXPECT_EQ(std::vector<std::string>(added.begin(), added.begin() + 4),
              (std::vector<std::string>{"开始添加IP....", "添加IP-地址 10.79.0.20 成功.",
                                        "添加IP-地址 10.79.0.21 成功.",
                                        "添加IP-地址 10.79.0.5 失败,该ip已存在."}))
        << "nicopsctl runs as root: no line about missing rights";
    EXPECT_EQ(count(added, "lab0 共计3个IP-地址."), 1);
    EXPECT_EQ(count(added, "刷新显示完成."), 1);
    EXPECT_EQ(count(added, "添加IP完成，添加成功2，添加失败1。"), 1);
    EXPECT_EQ(shownAddresses(),
              (std::vector<std::string>{"10.79.0.5", "10.79.0.20", "10.79.0.21", "10.79.0.1"}));
    const std::string key =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\"
        "Parameters\\Interfaces\\lab0";
    EXPECT_EQ(nicops::platform::FileStore(variable(kLabVariable) + "/store.json")
                  .readMultiString(key, "IPAddress"),
              "10.79.0.5\r\n10.79.0.20\r\n10.79.0.21\r\n\r\n");

    // The gateway row counts as selected, as in the window's own delete.
    deleteRows({"10.79.0.20", "10.79.0.1"});
    const auto deleted = newMessages();
    EXPECT_EQ(count(deleted, "成功删除IP-地址 10.79.0.20"), 1);
    EXPECT_EQ(count(deleted, "删除选中项目完成,共计选中2条,符合启用条件1条,其中成功1 失败0."), 1);
    EXPECT_EQ(shownAddresses(), (std::vector<std::string>{"10.79.0.5", "10.79.0.21", "10.79.0.1"}));

    using namespace nicops::ui::tcpip_names;
    nicops::ui::RecordingForm form(nicops::ui::kTcpipDialogControls);
    nicops::ui::TcpipPropertiesPresenter dialog(*presenter_, form);
    form.setControlChecked(kAutomaticRadio, false);
    form.setControlChecked(kStaticRadio, true);
    for (const auto& [box, value] : {std::pair{kAddressBox, "10.79.0.77"},
                                     {kMaskBox, "255.255.255.0"},
                                     {kGatewayBox, "10.79.0.254"},
                                     {kPrimaryDnsBox, "203.0.113.5"},
                                     {kSecondaryDnsBox, "203.0.113.6"}}) {
        form.text(box) = value;
    }
    dialog.apply();
    EXPECT_EQ(form.closes(), 1);
    settle();
    EXPECT_EQ(newMessages(), std::vector<std::string>{});
    EXPECT_TRUE(presenter_->controlEnabled(nicops::ui::names::kRefreshButton)) << "busy ended";
}

// Refused: each change logs the one line and nothing else, and the link stays as it was.
TEST_F(PrivilegedPathTest, ARefusedChangeIsOneLineAndChangesNothing) {
    if (variable(kLabVariable).empty()) {
        buildLab(false);
        ASSERT_TRUE(passesAsNobody());
        EXPECT_EQ(netns_->ipv4Addresses("lab0"), (std::vector<std::string>{"10.79.0.5/24"}));
        EXPECT_FALSE(fs::exists(lab_->path / "store.json"));
        return;
    }
    openWindow();
    newMessages();
    add("10.79.0.{20-21}");
    const std::vector<std::string> refused{std::string(nicops::app::kNotAuthorised)};
    EXPECT_EQ(newMessages(), refused);
    deleteRows({"10.79.0.5"});
    EXPECT_EQ(newMessages(), refused);
    EXPECT_EQ(shownAddresses(), (std::vector<std::string>{"10.79.0.5", "10.79.0.1"}));
    EXPECT_TRUE(presenter_->controlEnabled(nicops::ui::names::kRefreshButton)) << "busy ended";
}

}  // namespace

#endif  // _WIN32
