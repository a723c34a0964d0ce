#include "ipops/add_range.h"

#include <cstdint>
#include <vector>

#include "ipops/persisted_settings.h"
#include "platform/inet.h"
#include "text/text_functions.h"

namespace nicops::ipops {

namespace {

using text::numberToText;

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Letters, digits, '-', '.', '_' and at least one letter: what a host name can look like. An
// all-numeric text is never a name (no top-level domain is numeric), so 10.0.0.256 is not
// looked up.
bool shapedLikeHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) {
        return false;
    }
    bool letter = false;
    for (char c : text) {
        if (isLetter(c)) {
            letter = true;
        } else if (!((c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_')) {
            return false;
        }
    }
    return letter;
}

bool resolves(const std::string& text, int flags) {
    platform::startSockets();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    const bool any = found != nullptr;
    ::freeaddrinfo(found);
    return any;
}

// One add run: the addresses waiting for the probe and the backend, and the log lines in the
// order they must appear. Lines that come after a waiting address wait with it.
class AddRun {
public:
    AddRun(const OperationServices& services, OperationHost& host, bool checkInUse,
           std::string mask, std::uint32_t adapterIndex)
        : services_(services),
          host_(host),
          checkInUse_(checkInUse),
          mask_(std::move(mask)),
          adapterIndex_(adapterIndex) {}

    // A line of its own (an entry that adds nothing).
    void note(std::string message) {
        if (pending_.empty()) {
            host_.appendLog(message);
        } else {
            pending_.push_back({std::move(message), false});
        }
    }

    // An address to probe (when asked to) and add.
    void attempt(std::string address) {
        pending_.push_back({std::move(address), true});
        if (++pendingAddresses_ >= kAddressBatchSize) {
            flush();
        }
    }

    void failWithoutTrying() { ++failures_; }

    // Probes the waiting addresses in one call, adds the silent ones in one call and logs
    // everything waiting, in order.
    void flush() {
        if (pending_.empty()) {
            return;
        }
        std::vector<std::string> addresses;
        addresses.reserve(pendingAddresses_);
        for (const Pending& p : pending_) {
            if (p.isAddress) {
                addresses.push_back(p.text);
            }
        }
        std::vector<std::int32_t> answers(addresses.size(), -1);
        if (checkInUse_ && !addresses.empty()) {
            answers = services_.probe.probeAddresses(addresses, kInUseProbeTimeoutMs);
            answers.resize(addresses.size(), -1);
        }
        std::vector<platform::AddressToAdd> items;
        items.reserve(addresses.size());
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            if (answers[i] == -1) {
                items.push_back({addresses[i], mask_});
            }
        }
        std::vector<std::uint32_t> codes;
        if (!items.empty()) {
            codes = services_.ipHelper.addIpAddresses(items, adapterIndex_);
        }
        std::size_t address = 0;
        std::size_t added = 0;
        for (const Pending& p : pending_) {
            if (!p.isAddress) {
                host_.appendLog(p.text);
                continue;
            }
            if (answers[address++] != -1) {
                host_.appendLog("添加IP-地址 " + p.text + " 失败,该ip可能已被占用.");
                continue;
            }
            // A backend that answered for fewer items than it was given failed the rest.
            const std::uint32_t code = added < codes.size() ? codes[added] : 0xFFFFFFFFU;
            ++added;
            if (code == platform::kNoError) {
                ++successes_;
                host_.appendLog("添加IP-地址 " + p.text + " 成功.");
            } else {
                ++failures_;
                host_.appendLog("添加IP-地址 " + p.text + " 失败,返回代码" + numberToText(code) +
                                ".");
            }
        }
        pending_.clear();
        pendingAddresses_ = 0;
    }

    std::uint32_t successes() const { return successes_; }
    std::uint32_t failures() const { return failures_; }

private:
    struct Pending {
        std::string text;  // the address, or the whole log line
        bool isAddress;
    };

    const OperationServices& services_;
    OperationHost& host_;
    bool checkInUse_;
    std::string mask_;
    std::uint32_t adapterIndex_;
    std::vector<Pending> pending_;
    std::size_t pendingAddresses_ = 0;
    std::uint32_t successes_ = 0;
    std::uint32_t failures_ = 0;
};

// A range line: "{", "}" and "-" anywhere in it. prefix is the text before the first "{"; start
// is read between the first "{" and the first "-" after it, end between the line's first "-"
// and the first "}" after that.
bool isRangeLine(const std::string& line) {
    return text::findText(line, "{") != text::kNotFound &&
           text::findText(line, "}") != text::kNotFound &&
           text::findText(line, "-") != text::kNotFound;
}

void addRangeLine(const std::string& line, AddRun& run) {
    const std::string prefix = text::leftOf(line, text::findText(line, "{") - 1);
    const std::int64_t start = text::textToInteger(text::extractBetween(line, "{", "-"));
    const std::int64_t end = text::textToInteger(text::extractBetween(line, "-", "}"));
    if (start <= 0 || end <= 0 || start >= end) {
        run.note("添加IP-地址地址范围错误！");
        return;
    }
    for (std::int64_t n = start; n <= end; ++n) {
        run.attempt(prefix + numberToText(static_cast<std::int32_t>(n)));
    }
}

void addSingleLine(const std::string& line, const OperationServices& services,
                   const NameLookup& lookup, AddRun& run) {
    if (!addressTextAccepted(line, lookup)) {
        run.note("添加IP-地址地址格式输入错误！");
        return;
    }
    bool present = false;
    {
        std::lock_guard lock(services.snapshotMutex);
        present = services.snapshot.addresses.contains(line);
    }
    if (present) {
        run.failWithoutTrying();
        run.note("添加IP-地址 " + line + " 失败,该ip已存在.");
        return;
    }
    run.attempt(line);
}

}  // namespace

bool resolverLookup(const std::string& name) {
    return resolves(name, 0);
}

bool addressTextAccepted(const std::string& text, const NameLookup& lookup) {
    if (text.empty() || text.find('\0') != std::string::npos) {
        return false;
    }
    if (resolves(text, AI_NUMERICHOST)) {
        return true;
    }
    return shapedLikeHostName(text) && lookup && lookup(text);
}

void addIpRanges(const OperationServices& services, OperationHost& host,
                 const AddRequest& request) {
    addIpRanges(services, host, request, resolverLookup);
}

void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request,
                 const NameLookup& lookup) {
    host.setBusy(true);
    const AddRequest copy = request;
    const std::uint32_t adapterIndex = host.currentAdapterIndex();
    host.appendLog("开始添加IP....");
    if (const std::string problem = services.ipHelper.addressChangeProblem(); !problem.empty()) {
        host.appendLog(problem);
    }
    AddRun run(services, host, copy.checkInUse, copy.maskText, adapterIndex);
    for (const std::string& line : text::splitText(copy.rangeText, "\r\n")) {
        if (isRangeLine(line)) {
            addRangeLine(line, run);
        } else {
            addSingleLine(line, services, lookup, run);
        }
    }
    run.flush();
    host.refreshDisplay();
    host.appendLog("添加IP完成，添加成功" + numberToText(run.successes()) + "，添加失败" +
                   numberToText(run.failures()) + "。");
    // The adapter the addresses went to, even when the refresh shows another one: its link may
    // have gone away meanwhile.
    persistAddresses(services, host, adapterIndex);
    host.setBusy(false);
}

}  // namespace nicops::ipops
