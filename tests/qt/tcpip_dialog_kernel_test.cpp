// The TCP/IPv4 properties dialog switching a real link, from the window: the program's parts
// (the Linux backend, its adapter configuration and the file store, as chooseBackend picks them)
// under the main window and the dialog, in the client namespace of a DHCP lab whose dnsmasq
// serves the other end of the link.
//
// The configuration answers for the network namespace it was opened in, and the DHCP client it
// starts inherits the process's mounts, so the window's whole process must live in the lab: the
// test runs this binary again there, once per direction (a fresh program start each), with the
// lab's /etc, /run and /var/lib/dhcp bound in a private mount namespace. It checks the window's
// side in that run, and the link, routes and resolver from outside.
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/backend_choice.h"
#include "linux/dhcp_lab.h"
#include "qt_test_support.h"

namespace nicops::ui::qt::testing {
namespace {

using linux_test::DhcpLab;
namespace fs = std::filesystem;

// Set only in the run inside the lab: the lab's folder, the direction to switch, and the
// network namespace the test started in.
constexpr const char* kLabVariable = "NICOPS_TCPIP_LAB";
constexpr const char* kDirectionVariable = "NICOPS_TCPIP_DIRECTION";
constexpr const char* kHostNamespaceVariable = "NICOPS_TCPIP_HOST_NS";
constexpr const char* kToDhcp = "dhcp";
constexpr const char* kToStatic = "static";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The calling process's network namespace, as "net:[INODE]".
std::string networkNamespace() {
    return fs::read_symlink("/proc/self/ns/net").string();
}

class TcpipDialogKernelTest : public MainWindowFixture {
protected:
    // Outside the lab: no window, only the lab's requirements. Inside: the window over the
    // machine's (the namespace's) backend, as the program builds it.
    void SetUp() override {
        if (variable(kLabVariable).empty()) {
            if (auto reason = DhcpLab::skipReason(); !reason.empty()) {
                GTEST_SKIP() << reason;
            }
            return;
        }
        // Nothing of the host may be changed: the run must see the lab's namespace and files.
        ASSERT_NE(networkNamespace(), variable(kHostNamespaceVariable));
        ASSERT_TRUE(linux_test::seesLabResolvConf(variable(kLabVariable)));
        choice_ = app::chooseBackend("", (temp_.path() / "store.json").string());
        ASSERT_NE(choice_.backend, nullptr) << choice_.error;
        ASSERT_NE(choice_.ownedConfiguration, nullptr) << "the platform's configuration";
        context_ = std::make_unique<AppContext>(*choice_.backend);
        context_->probe = choice_.probe;
        context_->store = choice_.store.get();
        context_->configuration = choice_.configuration;
        openWindow();
    }

    void TearDown() override {
        MainWindowFixture::TearDown();
        context_.reset();  // before the backend it refers to
    }

    // Runs this test again in the lab's client namespace, switching `direction`; its exit
    // status and output.
    linux_test::CommandResult switchInLab(DhcpLab& lab, const std::string& direction) {
        using linux_test::shellQuote;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string command;
        for (const auto& [folder, over] : lab.privateFolders()) {
            command +=
                "mount --bind " + shellQuote(folder.string()) + " " + shellQuote(over) + " && ";
        }
        // No bus of the machine is reachable from the run: its /run is the lab's, and the
        // buses' addresses are dropped.
        const fs::path output = lab.root() / ("window-" + direction + ".log");
        command += "exec env -u DBUS_SESSION_BUS_ADDRESS -u DBUS_SYSTEM_BUS_ADDRESS " +
                   std::string(kLabVariable) + "=" + shellQuote(lab.root().string()) + " " +
                   kDirectionVariable + "=" + direction + " " + kHostNamespaceVariable + "=" +
                   shellQuote(networkNamespace()) + " " +
                   shellQuote(fs::read_symlink("/proc/self/exe").string()) + " " +
                   shellQuote(std::string("--gtest_filter=") + test->test_suite_name() + "." +
                              test->name()) +
                   " > " + shellQuote(output.string()) + " 2>&1";
        auto result = lab.client().exec("exec unshare --mount --propagation private sh -c " +
                                        shellQuote(command));
        result.output += linux_test::readText(output);
        return result;
    }

    // Whether a run inside the lab passed: it ran this test, and nothing failed.
    static ::testing::AssertionResult passedInLab(const linux_test::CommandResult& run) {
        if (run.status == 0 && run.output.find("[  PASSED  ] 1 test.") != std::string::npos) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "exit status " << run.status << " of the run in the lab:\n"
               << run.output;
    }

    template <typename T = QWidget>
    T* dialogControl(std::string_view name) const {
        return view_->tcpipDialog()->findChild<T*>(toQString(name));
    }
    bool checked(std::string_view radio) const {
        return dialogControl<QRadioButton>(radio)->isChecked();
    }
    QString boxText(std::string_view box) const { return dialogControl<QLineEdit>(box)->text(); }

    // Start-up, the lab's link chosen in the adapter box, and its properties dialog opened.
    QPointer<QtTcpipDialog> openOnLabLink() {
        startUp();
        const int item = control<QComboBox>(names::kAdapterCombo)->findText(QStringLiteral("cli0"));
        EXPECT_GE(item, 0);
        presenter_->selectAdapter(item);
        QCoreApplication::processEvents();
        return openTcpipDialog(*view_);
    }

    // Clicks "确定"; whether the dialog then closed.
    bool clickOk(QPointer<QtTcpipDialog>& dialog) {
        QTest::mouseClick(dialogControl(tcpip_names::kOkButton), Qt::LeftButton);
        return waitFor([&] { return dialog.isNull(); });
    }

    // In the lab: the dialog opens in static mode on the link's address, and switches it to
    // DHCP; opened again, it shows the automatic mode and the gateway DHCP handed out.
    void switchToDhcpFromTheDialog() {
        QPointer<QtTcpipDialog> dialog = openOnLabLink();
        ASSERT_FALSE(dialog.isNull());
        EXPECT_TRUE(checked(tcpip_names::kStaticRadio));
        EXPECT_EQ(boxText(tcpip_names::kAddressBox), QStringLiteral("198.51.100.7"));
        EXPECT_EQ(boxText(tcpip_names::kMaskBox), QStringLiteral("255.255.255.0"));
        EXPECT_EQ(boxText(tcpip_names::kGatewayBox), QStringLiteral("198.51.100.1"));

        QTest::mouseClick(dialogControl(tcpip_names::kAutomaticRadio), Qt::LeftButton);
        ASSERT_TRUE(clickOk(dialog)) << "closed and deleted";
        EXPECT_TRUE(waitFor([&] {
            return logCount(QString::fromUtf16(u"cli0 修改为自动获取IP成功.")) == 1;
        })) << logText().toStdString();

        dialog = openTcpipDialog(*view_);
        ASSERT_FALSE(dialog.isNull());
        EXPECT_TRUE(checked(tcpip_names::kAutomaticRadio));
        EXPECT_FALSE(checked(tcpip_names::kStaticRadio));
        EXPECT_EQ(boxText(tcpip_names::kGatewayBox), QStringLiteral("192.0.2.1"));
        for (std::string_view box :
             {tcpip_names::kAddressBox, tcpip_names::kMaskBox, tcpip_names::kGatewayBox,
              tcpip_names::kPrimaryDnsBox, tcpip_names::kSecondaryDnsBox}) {
            EXPECT_FALSE(dialogControl(box)->isEnabled()) << toQString(box).toStdString();
        }
        dialog->close();
    }

    // In the lab: the dialog opens in automatic mode and switches the link to the static
    // values typed into its boxes, logging nothing.
    void switchToStaticFromTheDialog() {
        QPointer<QtTcpipDialog> dialog = openOnLabLink();
        ASSERT_FALSE(dialog.isNull());
        EXPECT_TRUE(checked(tcpip_names::kAutomaticRadio));

        QTest::mouseClick(dialogControl(tcpip_names::kStaticRadio), Qt::LeftButton);
        const std::vector<std::pair<std::string_view, QString>> typed{
            {tcpip_names::kAddressBox, QStringLiteral("192.0.2.77")},
            {tcpip_names::kMaskBox, QStringLiteral("255.255.255.0")},
            {tcpip_names::kGatewayBox, QStringLiteral("192.0.2.254")},
            {tcpip_names::kPrimaryDnsBox, QStringLiteral("203.0.113.5")},
            {tcpip_names::kSecondaryDnsBox, QStringLiteral("203.0.113.6")}};
        for (const auto& [name, text] : typed) {
            auto* box = dialogControl<QLineEdit>(name);
            ASSERT_TRUE(box->isEnabled()) << toQString(name).toStdString();
            box->clear();
            QTest::keyClicks(box, text);
            EXPECT_EQ(box->text(), text);
        }
        const QString logBefore = logText();
        ASSERT_TRUE(clickOk(dialog)) << "closed and deleted";
        QCoreApplication::processEvents();  // a log line would have been flushed by now
        EXPECT_EQ(logText(), logBefore);
    }

    app::BackendChoice choice_;
};

TEST_F(TcpipDialogKernelTest, SwitchesALinkFromStaticToDhcpAndBack) {
    // The runs inside the lab.
    const std::string direction = variable(kDirectionVariable);
    if (direction == kToDhcp) {
        switchToDhcpFromTheDialog();
        return;
    }
    if (direction == kToStatic) {
        switchToStaticFromTheDialog();
        return;
    }
    DhcpLab lab;
    ASSERT_TRUE(lab.ready());
    linux_test::Netns& client = lab.client();
    client.ip("addr add 198.51.100.7/24 dev cli0");
    client.ip("route add default via 198.51.100.1 dev cli0");

    const auto toDhcp = switchInLab(lab, kToDhcp);
    ASSERT_TRUE(passedInLab(toDhcp)) << "--- dnsmasq\n" << lab.dnsmasqLog();
    const auto leased = client.ipv4Addresses("cli0");
    ASSERT_EQ(leased.size(), 1U);
    EXPECT_TRUE(linux_test::isLabLease(leased[0])) << leased[0];
    EXPECT_EQ(linux_test::defaultRoutesOf(client, "cli0"),
              std::vector<std::string>{"via 192.0.2.1"});
    const pid_t dhclient =
        std::atoi(linux_test::readText(lab.root() / "run/dhclient.cli0.pid").c_str());
    EXPECT_TRUE(linux_test::stillRuns(dhclient));

    const auto toStatic = switchInLab(lab, kToStatic);
    ASSERT_TRUE(passedInLab(toStatic));
    EXPECT_EQ(client.ipv4Addresses("cli0"), std::vector<std::string>{"192.0.2.77/24"});
    EXPECT_EQ(linux_test::defaultRoutesOf(client, "cli0"),
              std::vector<std::string>{"via 192.0.2.254"});
    EXPECT_EQ(linux_test::nameserversIn(lab.resolvConf()),
              (std::vector<std::string>{"203.0.113.5", "203.0.113.6"}));
    EXPECT_FALSE(linux_test::stillRuns(dhclient));
}

}  // namespace
}  // namespace nicops::ui::qt::testing
