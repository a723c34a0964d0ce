// A link deleted while nicopsctl adds or deletes thousands of its addresses, on the real kernel:
// a watcher in the test's namespace counts the kernel's address notifications and deletes the
// link part way through. The program must end, give every address after the deletion a failure
// line, count what it logged, and leave the store as it was.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "netns_lab.h"
#include "platform/file_store.h"
#include "text/codepage.h"
#include "text/text_functions.h"

namespace nicops::linux_test {
namespace {

using Lines = std::vector<std::string>;

constexpr int kAddresses = 4000;
// Address notifications seen before the link goes: inside the second of the add's batches.
constexpr int kDeleteAfter = 1500;

const std::string kInterfaces =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";

// Deletes a link once the kernel has announced `after` address changes of type `type` on it.
// The socket is made inside the namespace and so belongs to it, whichever thread reads it.
class LinkDeleter {
public:
    LinkDeleter(Netns& lab, std::uint32_t index, std::uint16_t type, int after)
        : index_(index), type_(type), after_(after) {
        fd_ = lab.inside([] {
            const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
            sockaddr_nl local{};
            local.nl_family = AF_NETLINK;
            local.nl_groups = RTMGRP_IPV4_IFADDR;
            int size = 16 << 20;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
            return ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? fd : -1;
        });
        if (fd_ >= 0) {
            watcher_ = std::thread([this] { watch(); });
        }
    }
    ~LinkDeleter() {
        stop_ = true;
        if (watcher_.joinable()) {
            watcher_.join();
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    LinkDeleter(const LinkDeleter&) = delete;
    LinkDeleter& operator=(const LinkDeleter&) = delete;

    bool listening() const { return fd_ >= 0; }
    bool deleted() const { return deleted_; }

private:
    void watch() {
        std::vector<char> buffer(1 << 16);
        int seen = 0;
        while (!stop_ && !deleted_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0 && errno == ENOBUFS) {
                deleteLink();  // notifications were lost: far enough into the run
                continue;
            }
            int left = static_cast<int>(n);
            for (auto* m = reinterpret_cast<nlmsghdr*>(buffer.data()); n > 0 && NLMSG_OK(m, left);
                 m = NLMSG_NEXT(m, left)) {
                const auto* address = static_cast<const ifaddrmsg*>(NLMSG_DATA(m));
                if (m->nlmsg_type == type_ && address->ifa_index == index_ && ++seen == after_) {
                    deleteLink();
                }
            }
        }
    }

    void deleteLink() {
        struct {
            nlmsghdr header;
            ifinfomsg link;
        } request{};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = RTM_DELLINK;
        request.header.nlmsg_flags = NLM_F_REQUEST;
        request.link.ifi_family = AF_UNSPEC;
        request.link.ifi_index = static_cast<int>(index_);
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        deleted_ = ::sendto(fd_, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                            sizeof kernel) == static_cast<ssize_t>(sizeof request);
    }

    std::uint32_t index_;
    std::uint16_t type_;
    int after_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> deleted_{false};
    std::thread watcher_;
};

// The program's log lines in GBK, without their time stamps.
Lines logLines(const std::string& utf8Output) {
    Lines out;
    for (const std::string& line : text::splitText(text::utf8ToGbk(utf8Output), "\n")) {
        if (line.empty()) {
            continue;
        }
        const std::size_t stamp = line.find("：");
        out.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
    }
    return out;
}

std::string printable(const Lines& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += "    " + text::gbkToUtf8(line) + "\n";
    }
    return out;
}

// Each address's line: its address, whether it says success and the line itself.
struct AddressLine {
    std::string address;
    bool success;
    std::string line;
};

std::optional<AddressLine> addressLine(const std::string& line, const std::string& successStart,
                                       const std::string& successEnd,
                                       const std::string& failureStart,
                                       const std::string& failureMark) {
    if (line.rfind(successStart, 0) == 0 && line.ends_with(successEnd)) {
        return AddressLine{
            line.substr(successStart.size(), line.size() - successStart.size() - successEnd.size()),
            true, line};
    }
    if (line.rfind(failureStart, 0) == 0) {
        if (const auto mark = line.find(failureMark); mark != std::string::npos) {
            return AddressLine{line.substr(failureStart.size(), mark - failureStart.size()), false,
                               line};
        }
    }
    return std::nullopt;
}

class LinkDeletedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = namespaceSkipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        if (!std::filesystem::exists(NICOPSCTL_PATH)) {
            GTEST_SKIP() << NICOPSCTL_PATH << " is not built";
        }
        for (int i = 0; i < kAddresses; ++i) {
            addresses_.push_back("10.20." + std::to_string(1 + i / 250) + "." +
                                 std::to_string(1 + i % 250));
        }
    }

    // A fresh lab: d0 (the link that goes) and d1 (another adapter, shown after d0's peer), and
    // a store that holds for d1 an address it lacks now, to be restored one day.
    void openLab() {
        lab_.reset();
        lab_.emplace();
        ASSERT_TRUE(lab_->created());
        for (const char* pair : {"d0", "d1"}) {
            lab_->ip(std::string("link add ") + pair + " type veth peer name " + pair + "p");
            for (const std::string& link : {std::string(pair), std::string(pair) + "p"}) {
                lab_->ip("link set " + link + " up");
            }
        }
        lab_->ip("addr add 10.30.0.1/24 dev d1");
        d0_ = lab_->indexOf("d0");
        std::filesystem::remove(storePath());
        platform::FileStore store(storePath());
        ASSERT_TRUE(
            store.writeMultiString(kInterfaces + "d1", "IPAddress", "10.30.0.1\r\n10.30.0.9"));
        ASSERT_TRUE(store.writeMultiString(kInterfaces + "d1", "SubnetMask",
                                           "255.255.255.0\r\n255.255.255.0"));
        storedBefore_ = storeText();
    }

    std::string storePath() const { return (folder_.path / "store.json").string(); }
    std::string storeText() const { return readText(storePath()); }

    // nicopsctl ARGS inside the lab while the link d0 is deleted after `after` notifications of
    // `type`; the log lines, and whether the deletion happened.
    std::pair<Lines, bool> runWhileDeleting(const std::string& args, std::uint16_t type) {
        LinkDeleter deleter(*lab_, d0_, type, kDeleteAfter);
        EXPECT_TRUE(deleter.listening());
        const auto start = std::chrono::steady_clock::now();
        const CommandResult result =
            lab_->exec("LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --config " +
                       folder_.path.string() + " --store " + storePath() + " " + args);
        took_ = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        EXPECT_EQ(result.status, 0) << result.output.substr(0, 2000);
        return {logLines(result.output), deleter.deleted()};
    }

    // The per-address lines, checked: one per address in order, successes only before the first
    // failure. The other lines go to `rest`.
    std::vector<AddressLine> checkedAddressLines(const Lines& log, const std::string& successStart,
                                                 const std::string& successEnd,
                                                 const std::string& failureStart,
                                                 const std::string& failureMark, Lines& rest) {
        std::vector<AddressLine> lines;
        for (const std::string& line : log) {
            if (auto parsed =
                    addressLine(line, successStart, successEnd, failureStart, failureMark)) {
                lines.push_back(*parsed);
            } else {
                rest.push_back(line);
            }
        }
        EXPECT_EQ(lines.size(), addresses_.size());
        bool failed = false;
        for (std::size_t i = 0; i < lines.size() && i < addresses_.size(); ++i) {
            EXPECT_EQ(lines[i].address, addresses_[i]);
            EXPECT_FALSE(failed && lines[i].success) << text::gbkToUtf8(lines[i].line);
            failed = failed || !lines[i].success;
        }
        return lines;
    }

    // The summary, then the store's lines: d0 is gone, so nothing is stored for it, and d1, which
    // the refresh shows now, keeps what it had.
    void checkSummaryAndStore(const Lines& rest, const std::string& summary) {
        const auto at = std::find(rest.begin(), rest.end(), summary);
        ASSERT_NE(at, rest.end()) << printable(rest);
        EXPECT_EQ(Lines(at + 1, rest.end()),
                  (Lines{"开始刷新系统储存...", "储存IP地址失败！", "储存子网掩码失败！"}));
        EXPECT_EQ(storeText(), storedBefore_);
    }

    // What the user saw around the deletion, for the closing note.
    void print(const char* what, const std::vector<AddressLine>& lines, const Lines& rest,
               std::size_t successes) {
        std::set<std::string> failureKinds;
        for (const AddressLine& line : lines) {
            if (!line.success) {
                failureKinds.insert(text::gbkToUtf8(line.line.substr(line.line.rfind(' '))));
            }
        }
        std::cout << "[link deleted] " << what << ": " << took_.count() << " ms, " << successes
                  << " successes, " << lines.size() - successes << " failures (";
        for (const std::string& kind : failureKinds) {
            std::cout << kind;
        }
        std::cout << ")\n    around the deletion:\n";
        for (std::size_t i = successes > 0 ? successes - 1 : 0;
             i < std::min(lines.size(), successes + 2); ++i) {
            std::cout << "    " << text::gbkToUtf8(lines[i].line) << "\n";
        }
        std::cout << "    the other lines:\n" << printable(rest);
    }

    TempFolder folder_{"nicops-link-deleted"};
    std::optional<Netns> lab_;
    std::uint32_t d0_ = 0;
    std::vector<std::string> addresses_;
    std::string storedBefore_;
    std::chrono::milliseconds took_{0};
};

// Tries the run until the deletion falls inside it (the watcher sees the kernel's notifications
// as they come, so that is the first try in practice); false when it never did.
template <typename Run>
bool untilTheDeletionFallsInside(Run run) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (run()) {
            return true;
        }
    }
    return false;
}

TEST_F(LinkDeletedTest, AnAddWhoseLinkGoesFailsTheRestAndStoresNothing) {
    std::string args = "add --adapter d0 --mask 255.255.255.255";
    for (int line = 1; line <= kAddresses / 250; ++line) {
        args += " '10.20." + std::to_string(line) + ".{1-250}'";
    }
    const bool inside = untilTheDeletionFallsInside([&] {
        openLab();
        const auto [log, deleted] = runWhileDeleting(args, RTM_NEWADDR);
        Lines rest;
        const auto lines = checkedAddressLines(log, "添加IP-地址 ", " 成功.", "添加IP-地址 ",
                                               " 失败,返回代码", rest);
        std::size_t successes = 0;
        while (successes < lines.size() && lines[successes].success) {
            ++successes;
        }
        const std::string summary = "添加IP完成，添加成功" + std::to_string(successes) +
                                    "，添加失败" + std::to_string(lines.size() - successes) + "。";
        checkSummaryAndStore(rest, summary);
        print("add", lines, rest, successes);
        return deleted && successes > 0 && successes < lines.size();
    });
    if (!inside) {
        GTEST_SKIP() << "the link's deletion never fell inside the add";
    }
}

TEST_F(LinkDeletedTest, ADeleteWhoseLinkGoesFailsTheRestAndStoresNothing) {
    std::string args = "delete --adapter d0";
    for (const std::string& address : addresses_) {
        args += " " + address;
    }
    const bool inside = untilTheDeletionFallsInside([&] {
        openLab();
        std::ofstream batch(folder_.path / "batch");
        for (const std::string& address : addresses_) {
            batch << "addr add " << address << "/32 dev d0\n";
        }
        batch.close();
        lab_->ip("-batch " + (folder_.path / "batch").string());
        const auto [log, deleted] = runWhileDeleting(args, RTM_DELADDR);
        Lines rest;
        const auto lines = checkedAddressLines(log, "成功删除IP-地址 ", "", "删除IP-地址 ",
                                               " 失败,返回代码", rest);
        std::size_t successes = 0;
        while (successes < lines.size() && lines[successes].success) {
            ++successes;
        }
        const std::string n = std::to_string(kAddresses);
        const std::string summary = "删除选中项目完成,共计选中" + n + "条,符合启用条件" + n +
                                    "条,其中成功" + std::to_string(successes) + " 失败" +
                                    std::to_string(lines.size() - successes) + ".";
        checkSummaryAndStore(rest, summary);
        print("delete", lines, rest, successes);
        return deleted && successes > 0 && successes < lines.size();
    });
    if (!inside) {
        GTEST_SKIP() << "the link's deletion never fell inside the delete";
    }
}

}  // namespace
}  // namespace nicops::linux_test
