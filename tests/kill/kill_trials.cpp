// Kill trials: every writer of a file is run in a child process and killed with SIGKILL at a
// random moment of its run; after each kill the file must be whole — byte for byte the old
// content or the new one (or, for a write in several steps, one of its known steps) — and
// nothing may be left beside it that the next run would not clear away. Prints, per writer, the
// kills, the torn files, the temporary files a kill left and the ones the next write did not
// remove; exits with 1 unless both of the last are 0 and every writer got its kills.
//
//   kill_trials [KILLS]   (1,000 by default, spread over the four writers)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/file_store.h"
#include "platform/ini_file.h"
#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using nicops::platform::AddressToAdd;
using nicops::platform::FileStore;
using nicops::platform::replaceFileAtomically;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr const char* kSection = "汐桉网卡操作";
constexpr const char* kAdapterKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\"
    "{4F0C6B2A-0000-4000-8000-0000000000B2}";
constexpr std::uint32_t kAdapter = 7;  // the demo host's adapter with that name

std::string readFile(const std::string& path) {
    return nicops::testing::TempDir::read(path);
}

// The trials' folder, removed with everything in it. In memory (/dev/shm) where there is such
// a file system: a kill ends the process, not the machine, so the page cache counts and the
// disk's flushes would only slow the trials down.
struct TrialFolder {
    TrialFolder() {
        const fs::path base = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string pattern = (base / "nicops-kill-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("kill_trials: mkdtemp");
            std::exit(1);
        }
        path = pattern;
    }
    ~TrialFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TrialFolder(const TrialFolder&) = delete;
    TrialFolder& operator=(const TrialFolder&) = delete;
    fs::path path;
};

// A writer under trial: `reset` (in this process) puts its files into the old state through the
// writer's own code, `run` (in the child) is the write that is killed, `whole` says whether the
// files after a kill are a state they may be in ("" when they are, else what is wrong).
struct Writer {
    std::string name;
    int kills = 0;  // wanted
    std::function<void()> reset;
    std::function<void()> run;
    std::function<std::string()> whole;
    std::set<std::string> own;  // the folder's names that belong there: files and lock files
};

struct Tally {
    int kills = 0;
    int finished = 0;  // runs that ended before their kill
    int torn = 0;
    int leftovers = 0;  // temporary files a kill left behind
    int stray = 0;      // of those, the ones the next write did not remove
    double seconds = 0;
    std::string firstProblem;
};

// The folder's entries that don't belong there.
std::vector<std::string> foreignEntries(const fs::path& folder, const std::set<std::string>& own) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!own.contains(name)) {
            out.push_back(name);
        }
    }
    return out;
}

// Runs `run` in a child and waits for it; its duration.
Clock::duration timedRun(const std::function<void()>& run) {
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        run();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return Clock::now() - start;
}

Tally trial(Writer& writer, const fs::path& folder, std::mt19937_64& random) {
    Tally tally;
    const auto start = Clock::now();
    // The kills fall anywhere from the fork to a little past the usual end of the run.
    std::vector<Clock::duration> runs;
    for (int i = 0; i < 5; ++i) {
        writer.reset();
        runs.push_back(timedRun(writer.run));
    }
    std::sort(runs.begin(), runs.end());
    // The span follows the runs: shorter after a run that ended before its kill, longer after a
    // kill, so the kills cover the whole run, its end included, whatever the machine's load.
    const double measured =
        static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(runs[2]).count());
    double span = measured * 1.1;
    const int maxRuns = writer.kills * 4;
    for (int runsMade = 0; tally.kills < writer.kills && runsMade < maxRuns; ++runsMade) {
        writer.reset();
        // The reset wrote through the writer's own code: whatever an earlier kill left is gone.
        const auto left = foreignEntries(folder, writer.own);
        tally.stray += static_cast<int>(left.size());
        if (!left.empty() && tally.firstProblem.empty()) {
            tally.firstProblem = "left after the next write: " + left.front();
        }
        const pid_t child = ::fork();
        if (child == 0) {
            writer.run();
            ::_exit(0);
        }
        std::uniform_real_distribution<double> delay(0, span);
        std::this_thread::sleep_for(
            std::chrono::microseconds(static_cast<std::int64_t>(delay(random))));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
            ++tally.kills;
            span = std::min(span * 1.02, measured * 2);
        } else {
            ++tally.finished;
            span *= 0.9;
        }
        if (const std::string problem = writer.whole(); !problem.empty()) {
            ++tally.torn;
            if (tally.firstProblem.empty()) {
                tally.firstProblem = problem;
            }
        }
        tally.leftovers += static_cast<int>(foreignEntries(folder, writer.own).size());
    }
    writer.reset();
    tally.stray += static_cast<int>(foreignEntries(folder, writer.own).size());
    tally.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return tally;
}

// The one of `states` the file holds, or -1.
int stateOf(const std::string& content, const std::vector<std::string>& states) {
    const auto it = std::find(states.begin(), states.end(), content);
    return it == states.end() ? -1 : static_cast<int>(it - states.begin());
}

// Runs `run` once to its end and returns what the file holds then.
std::string contentAfter(const std::function<void()>& run, const std::string& path) {
    timedRun(run);
    return readFile(path);
}

// The settings file: a GBK INI with CR LF line ends, a preset key changed (large enough that a
// kill can fall inside the write).
Writer iniWriter(const fs::path& folder, int kills) {
    const std::string path = (folder / "UserConfig.ini").string();
    std::string old = "; 设置\r\n[" + std::string(kSection) + "]\r\n";
    for (int i = 1; i <= 6; ++i) {
        old += "预设" + std::to_string(i) + "=" + std::string(24 * 1024, 'A' + i) + "\r\n";
    }
    old += "IP地理位置查询格式=国家 省份 城市\r\n\r\n[其他]\r\n键=值\r\n";
    const std::string oldValue(24 * 1024, 'A' + 2);
    const std::string newValue(30 * 1024, 'z');
    auto states = std::make_shared<std::vector<std::string>>();
    Writer w;
    w.name = "INI key";
    w.kills = kills;
    w.own = {"UserConfig.ini"};
    w.reset = [path, oldValue] {
        nicops::platform::writeIniString(path, kSection, "预设2", oldValue);
    };
    w.run = [path, newValue] {
        if (!nicops::platform::writeIniString(path, kSection, "预设2", newValue)) {
            ::_exit(3);
        }
    };
    w.whole = [path, states] {
        const std::string content = readFile(path);
        if (stateOf(content, *states) < 0) {
            return "the settings file holds neither its old nor its new bytes (" +
                   std::to_string(content.size()) + " bytes)";
        }
        return std::string();
    };
    replaceFileAtomically(path, old);
    const std::string after = contentAfter(w.run, path);
    *states = {old, after};
    w.reset();
    if (readFile(path) != old || after == old ||
        after.find(newValue + "\r\n") == std::string::npos) {
        std::fprintf(stderr, "kill_trials: the settings file's two states are not as written\n");
        std::exit(1);
    }
    return w;
}

// A multi-string text of `count` addresses, CR LF between them.
std::string itemLines(int count, const std::string& prefix) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i == 0 ? "" : "\r\n") + prefix + std::to_string(i / 250) + "." +
                std::to_string(i % 250 + 1);
    }
    return text;
}

// The store: one value of a few thousand items replaced (old list ⇄ new list).
Writer storeWriter(const fs::path& folder, int kills) {
    const std::string path = (folder / "store.json").string();
    const std::string oldList = itemLines(3000, "10.70.");
    const std::string newList = itemLines(3500, "10.71.");
    auto states = std::make_shared<std::vector<std::string>>();
    Writer w;
    w.name = "store value";
    w.kills = kills;
    w.own = {"store.json", "store.json.lock"};
    w.reset = [path, oldList] {
        FileStore(path).writeMultiString(kAdapterKey, "IPAddress", oldList);
    };
    w.run = [path, newList] {
        if (!FileStore(path).writeMultiString(kAdapterKey, "IPAddress", newList)) {
            ::_exit(3);
        }
    };
    w.whole = [path, states, oldList, newList] {
        const std::string content = readFile(path);
        const int state = stateOf(content, *states);
        if (state < 0) {
            return "the store holds neither its old nor its new bytes (" +
                   std::to_string(content.size()) + " bytes)";
        }
        // What the bytes say when read back through the store.
        const std::string read = FileStore(path).readMultiString(kAdapterKey, "IPAddress");
        if (read != (state == 0 ? oldList : newList) + "\r\n\r\n") {
            return std::string("the store reads back another list");
        }
        return std::string();
    };
    FileStore(path).writeMultiString(kAdapterKey, "SubnetMask", "255.255.0.0");
    w.reset();
    const std::string old = readFile(path);
    *states = {old, contentAfter(w.run, path)};
    return w;
}

// The addresses of the demo host's adapter 7 in a host file, and the file without them.
bool splitHost(const std::string& content, std::vector<std::string>& addresses, json& rest) {
    rest = json::parse(content, nullptr, false);
    if (rest.is_discarded() || !rest.contains("adapters")) {
        return false;
    }
    for (json& adapter : rest["adapters"]) {
        if (adapter.value("index", 0U) == kAdapter) {
            for (const json& e : adapter["ipAddresses"]) {
                addresses.push_back(e.is_object() ? e.value("address", "") : e.get<std::string>());
            }
            adapter.erase("ipAddresses");
        }
    }
    return true;
}

// Whether a host file is the old one with the first `step` × 1,000 of `added` added to
// adapter 7, for a step in 0..steps ("" when it is), the changes of every write in between a
// step apart.
std::string hostProblem(const std::string& content, const json& oldRest,
                        const std::vector<std::string>& oldAddresses,
                        const std::vector<std::string>& added) {
    std::vector<std::string> addresses;
    json rest;
    if (!splitHost(content, addresses, rest)) {
        return "the host file is no JSON document (" + std::to_string(content.size()) + " bytes)";
    }
    if (rest != oldRest) {
        return std::string("the host file changed beyond the adapter's addresses");
    }
    if (addresses.size() < oldAddresses.size()) {
        return std::string("the host file lost addresses");
    }
    const std::size_t extra = addresses.size() - oldAddresses.size();
    if (extra > added.size() ||
        !std::equal(oldAddresses.begin(), oldAddresses.end(), addresses.begin()) ||
        !std::equal(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(extra),
                    addresses.begin() + static_cast<std::ptrdiff_t>(oldAddresses.size())) ||
        (extra % 1000 != 0 && extra != added.size())) {
        return "the host file holds " + std::to_string(extra) + " added addresses, no batch's end";
    }
    return {};
}

std::vector<std::string> rangeAddresses(const std::string& prefix, int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(prefix + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
    }
    return out;
}

// The simulated host's write-back: one batch of 1,000 adds, one write of the host file.
Writer simWriter(const fs::path& folder, int kills) {
    const std::string path = (folder / "host.json").string();
    const std::string old = nicops::testing::demoHostText();
    const auto added = rangeAddresses("10.80.", 1000);
    auto states = std::make_shared<std::vector<std::string>>();
    Writer w;
    w.name = "host write-back";
    w.kills = kills;
    w.own = {"host.json"};
    w.reset = [path, old] { replaceFileAtomically(path, old); };
    w.run = [path, added] {
        std::string error;
        auto host = nicops::platform::sim::SimHost::open(path, error);
        std::vector<AddressToAdd> items;
        for (const std::string& a : added) {
            items.push_back({a, "255.255.0.0"});
        }
        if (host == nullptr || host->addIpAddresses(items, kAdapter).front() != 0) {
            ::_exit(3);
        }
    };
    w.whole = [path, states] {
        const std::string content = readFile(path);
        if (stateOf(content, *states) < 0) {
            return "the host file holds neither its old nor its new bytes (" +
                   std::to_string(content.size()) + " bytes)";
        }
        return std::string();
    };
    w.reset();
    *states = {old, contentAfter(w.run, path)};
    return w;
}

// nicopsctl adding 4,000 addresses to the simulated host (four batches, four writes of the
// host file) and then storing the adapter's list (two writes of the store).
Writer ctlWriter(const fs::path& folder, int kills) {
    const std::string host = (folder / "ctl-host.json").string();
    const std::string store = (folder / "ctl-store.json").string();
    const std::string oldHost = nicops::testing::demoHostText();
    const auto added = rangeAddresses("10.90.", 4000);
    auto oldStore = std::make_shared<std::string>();
    auto finalStore = std::make_shared<std::string>();
    auto oldRest = std::make_shared<json>();
    auto oldAddresses = std::make_shared<std::vector<std::string>>();
    Writer w;
    w.name = "nicopsctl add";
    w.kills = kills;
    w.own = {"ctl-host.json", "ctl-store.json", "ctl-store.json.lock"};
    w.reset = [host, store, oldHost, oldStore] {
        replaceFileAtomically(host, oldHost);
        replaceFileAtomically(store, *oldStore);
    };
    const std::string config = folder.string();
    w.run = [host, store, config] {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<std::string> args = {NICOPSCTL_PATH, "--config", config,   "--sim",
                                         host,           "--store",  store,    "add",
                                         "--adapter",    "7",        "--mask", "255.255.0.0"};
        for (int i = 0; i < 16; ++i) {
            args.push_back("10.90." + std::to_string(i) + ".{1-250}");
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::execv(NICOPSCTL_PATH, argv.data());
        ::_exit(127);
    };
    w.whole = [host, store, oldStore, finalStore, oldRest, oldAddresses, added] {
        if (std::string problem = hostProblem(readFile(host), *oldRest, *oldAddresses, added);
            !problem.empty()) {
            return problem;
        }
        // The store: the old one, or the new address list alone, or both new values.
        const std::string content = readFile(store);
        const json now = json::parse(content, nullptr, false);
        const json before = json::parse(*oldStore);
        const json after = json::parse(*finalStore);
        if (now.is_discarded()) {
            return "the store is no JSON document (" + std::to_string(content.size()) + " bytes)";
        }
        json half = before;
        half[kAdapterKey]["IPAddress"] = after[kAdapterKey]["IPAddress"];
        if (now != before && now != half && now != after) {
            return std::string("the store is neither old nor new");
        }
        return std::string();
    };
    // The old store: what an earlier add of nothing new stored.
    FileStore(store).writeMultiString(kAdapterKey, "IPAddress", "10.0.0.5");
    FileStore(store).writeMultiString(kAdapterKey, "SubnetMask", "255.255.255.0");
    *oldStore = readFile(store);
    json rest;
    splitHost(oldHost, *oldAddresses, rest);
    *oldRest = rest;
    w.reset();
    timedRun(w.run);
    *finalStore = readFile(store);
    std::vector<std::string> all;
    json finalRest;
    if (!splitHost(readFile(host), all, finalRest) || all.size() != oldAddresses->size() + 4000 ||
        json::parse(*finalStore).dump().find("10.90.15.250") == std::string::npos) {
        std::fprintf(stderr, "kill_trials: nicopsctl did not add and store the range\n");
        std::exit(1);
    }
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (total < 4) {
        std::fprintf(stderr, "usage: kill_trials [KILLS]\n");
        return 2;
    }
    const std::uint64_t seed = std::random_device{}();
    std::mt19937_64 random(seed);
    std::printf("kill trials, seed %" PRIu64 "\n", seed);
    std::printf("%-16s %6s %9s %5s %10s %6s %8s\n", "writer", "kills", "finished", "torn",
                "leftovers", "stray", "seconds");
    // The host writers are slower; they get fewer of the kills.
    const int ini = total * 3 / 10;
    const int store = total * 3 / 10;
    const int sim = total / 4;
    const int ctl = total - ini - store - sim;
    bool ok = true;
    int kills = 0;
    double seconds = 0;
    std::vector<std::function<Writer(const fs::path&)>> makers = {
        [ini](const fs::path& f) { return iniWriter(f, ini); },
        [store](const fs::path& f) { return storeWriter(f, store); },
        [sim](const fs::path& f) { return simWriter(f, sim); },
        [ctl](const fs::path& f) { return ctlWriter(f, ctl); },
    };
    for (const auto& make : makers) {
        const TrialFolder folder;
        Writer writer = make(folder.path);
        const Tally t = trial(writer, folder.path, random);
        std::printf("%-16s %6d %9d %5d %10d %6d %8.1f\n", writer.name.c_str(), t.kills, t.finished,
                    t.torn, t.leftovers, t.stray, t.seconds);
        if (!t.firstProblem.empty()) {
            std::printf("  %s: %s\n", writer.name.c_str(), t.firstProblem.c_str());
        }
        ok = ok && t.torn == 0 && t.stray == 0 && t.kills == writer.kills;
        kills += t.kills;
        seconds += t.seconds;
    }
    std::printf("%-16s %6d %36.1f\n", "all", kills, seconds);
    return ok ? 0 : 1;
}
