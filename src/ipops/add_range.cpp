#include "ipops/add_range.h"

#include <cstdint>
#include <functional>
#include <optional>
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
           std::string mask, std::uint32_t adapterIndex, OperationReport* report)
        : services_(services),
          host_(host),
          checkInUse_(checkInUse),
          mask_(std::move(mask)),
          adapterIndex_(adapterIndex),
          report_(report) {}

    // A line of its own (an entry that adds nothing) about `entry`.
    void note(std::string message, const std::string& entry, AddressOutcome outcome,
              const std::string& address = {}) {
        Pending p{std::move(message), false, entry, std::nullopt};
        if (report_ != nullptr) {
            p.result =
                AddressResult{entry, address, address.empty() ? "" : mask_, outcome, {}, p.text};
        }
        if (pending_.empty()) {
            log(p);
        } else {
            pending_.push_back(std::move(p));
        }
    }

    // An address of `entry` to probe (when asked to) and add.
    void attempt(std::string address, const std::string& entry) {
        pending_.push_back({std::move(address), true, entry, std::nullopt});
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
                log(p);
                continue;
            }
            if (answers[address++] != -1) {
                report(p, AddressOutcome::inUse, {},
                       "添加IP-地址 " + p.text + " 失败,该ip可能已被占用.");
                continue;
            }
            // A backend that answered for fewer items than it was given failed the rest.
            const std::uint32_t code = added < codes.size() ? codes[added] : 0xFFFFFFFFU;
            ++added;
            if (code == platform::kNoError) {
                ++successes_;
                report(p, AddressOutcome::added, code, "添加IP-地址 " + p.text + " 成功.");
            } else {
                ++failures_;
                report(p, AddressOutcome::failed, code,
                       "添加IP-地址 " + p.text + " 失败,返回代码" + numberToText(code) + ".");
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
        std::string entry;                    // the line it came from (when reported)
        std::optional<AddressResult> result;  // a line of its own's result (when reported)
    };

    // A line of its own, logged, and its result handed back.
    void log(const Pending& p) {
        host_.appendLog(p.text);
        if (report_ != nullptr && p.result) {
            report_->results.push_back(*p.result);
        }
    }

    void report(const Pending& p, AddressOutcome outcome, std::optional<std::uint32_t> code,
                const std::string& message) {
        host_.appendLog(message);
        if (report_ != nullptr) {
            report_->results.push_back({p.entry, p.text, mask_, outcome, code, message});
        }
    }

    const OperationServices& services_;
    OperationHost& host_;
    bool checkInUse_;
    std::string mask_;
    std::uint32_t adapterIndex_;
    OperationReport* report_;
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

constexpr const char* kRangeError = "添加IP-地址地址范围错误！";
constexpr const char* kFormatError = "添加IP-地址地址格式输入错误！";

// The addresses of a range line in order; false (none) for a range the add refuses.
bool rangeAddresses(const std::string& line, const std::function<void(std::string)>& each) {
    const std::string prefix = text::leftOf(line, text::findText(line, "{") - 1);
    const std::int64_t start = text::textToInteger(text::extractBetween(line, "{", "-"));
    const std::int64_t end = text::textToInteger(text::extractBetween(line, "-", "}"));
    if (start <= 0 || end <= 0 || start >= end) {
        return false;
    }
    for (std::int64_t n = start; n <= end; ++n) {
        each(prefix + numberToText(static_cast<std::int32_t>(n)));
    }
    return true;
}

void addRangeLine(const std::string& line, AddRun& run) {
    if (!rangeAddresses(line,
                        [&](std::string address) { run.attempt(std::move(address), line); })) {
        run.note(kRangeError, line, AddressOutcome::invalid);
    }
}

void addSingleLine(const std::string& line, const OperationServices& services,
                   const NameLookup& lookup, AddRun& run) {
    if (!addressTextAccepted(line, lookup)) {
        run.note(kFormatError, line, AddressOutcome::invalid);
        return;
    }
    bool present = false;
    {
        std::lock_guard lock(services.snapshotMutex);
        present = services.snapshot.addresses.contains(line);
    }
    if (present) {
        run.failWithoutTrying();
        run.note("添加IP-地址 " + line + " 失败,该ip已存在.", line, AddressOutcome::exists, line);
        return;
    }
    run.attempt(line, line);
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

void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request,
                 OperationReport* report) {
    addIpRanges(services, host, request, resolverLookup, report);
}

void addIpRanges(const OperationServices& services, OperationHost& host, const AddRequest& request,
                 const NameLookup& lookup, OperationReport* report) {
    host.setBusy(true);
    const AddRequest copy = request;
    const std::uint32_t adapterIndex = host.currentAdapterIndex();
    host.appendLog("开始添加IP....");
    if (const std::string problem = services.ipHelper.addressChangeProblem(); !problem.empty()) {
        host.appendLog(problem);
    }
    AddRun run(services, host, copy.checkInUse, copy.maskText, adapterIndex, report);
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
    const bool stored = report != nullptr && !report->writeStore
                            ? false
                            : persistAddresses(services, host, adapterIndex);
    if (report != nullptr) {
        report->successes = run.successes();
        report->failures = run.failures();
        report->stored = stored;
    }
    host.setBusy(false);
}

std::vector<AddressResult> checkIpRanges(const OperationServices& services,
                                         std::uint32_t adapterIndex, const std::string& rangeText,
                                         const NameLookup& lookup) {
    std::vector<AddressResult> results;
    // The snapshot is held only to read it: a single entry's name lookup waits outside.
    const auto answer = [&](const std::string& address, const std::string& entry) {
        std::lock_guard lock(services.snapshotMutex);
        const auto* held = services.snapshot.addresses.find(address);
        if (held != nullptr && held->adapterIndex == adapterIndex) {
            results.push_back(
                {entry, address, held->mask, AddressOutcome::present, std::nullopt, {}});
        } else {
            results.push_back({entry, address, {}, AddressOutcome::absent, std::nullopt, {}});
        }
    };
    for (const std::string& line : text::splitText(rangeText, "\r\n")) {
        if (isRangeLine(line)) {
            if (!rangeAddresses(line, [&](const std::string& address) { answer(address, line); })) {
                results.push_back(
                    {line, {}, {}, AddressOutcome::invalid, std::nullopt, kRangeError});
            }
        } else if (!addressTextAccepted(line, lookup)) {
            results.push_back({line, {}, {}, AddressOutcome::invalid, std::nullopt, kFormatError});
        } else {
            answer(line, line);
        }
    }
    return results;
}

}  // namespace nicops::ipops
