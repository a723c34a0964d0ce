#include "app/nicopsctl_runs.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <unordered_map>

#include "app/json_writer.h"
#include "external/address_lookup.h"
#include "external/clipboard_export.h"
#include "external/http_library.h"
#include "inventory/details_report.h"
#include "ipops/add_range.h"
#include "ipops/delete_addresses.h"
#include "ipops/persisted_settings.h"
#include "ipops/range_presets.h"
#include "ipops/tcpip_properties.h"
#include "platform/settings_folder.h"
#include "settings/app_settings.h"
#include "text/codepage.h"
#include "text/text_functions.h"

namespace nicops::app::ctl {

using nicops::inventory::AddressKind;

namespace {

// Standard input as the text of a multi-line box, in GBK: every line end (LF or CR LF) becomes
// CR LF, and the last one is dropped (a final line end adds no empty line).
std::string standardInputText() {
    const std::string input{std::istreambuf_iterator<char>(std::cin),
                            std::istreambuf_iterator<char>()};
    std::string text;
    text.reserve(input.size() + input.size() / 8);
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            continue;  // the LF that follows makes the line end
        }
        if (input[i] == '\n') {
            text += "\r\n";
        } else {
            text += input[i];
        }
    }
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    }
    return nicops::text::encodingToGbk(text, nicops::text::terminalEncoding());
}

// The text of the selected adapter's combo item: the connection name dhcp and static switch.
const std::string& connectionName(const Session& session) {
    return session.items[static_cast<std::size_t>(session.selected)].text;
}

const char* outcomeWord(nicops::ipops::AddressOutcome outcome) {
    using nicops::ipops::AddressOutcome;
    switch (outcome) {
        case AddressOutcome::added:
            return "added";
        case AddressOutcome::exists:
            return "exists";
        case AddressOutcome::inUse:
            return "in_use";
        case AddressOutcome::failed:
            return "failed";
        case AddressOutcome::invalid:
            return "invalid";
        case AddressOutcome::deleted:
            return "deleted";
        case AddressOutcome::notFound:
            return "not_found";
        case AddressOutcome::present:
            return "present";
        case AddressOutcome::absent:
            return "absent";
    }
    return "";
}

// A document's start: {"command": NAME, "adapter": the chosen adapter or null, ... (left open).
JsonWriter& beginDocument(JsonWriter& json, const Options& options, const Session& session,
                          bool withAdapter = true) {
    json.beginObject().field("command", options.command);
    if (!withAdapter) {
        return json;
    }
    json.key("adapter");
    if (session.selected < 0) {
        return json.null();
    }
    const ui::ComboItem& item = session.items[static_cast<std::size_t>(session.selected)];
    std::string interfaceName;
    {
        std::lock_guard lock(session.context->snapshotMutex);
        if (const auto* record = session.context->snapshot.adapters.find(item.adapterIndex)) {
            interfaceName = record->adapterName;
        }
    }
    return json.beginObject()
        .field("index", static_cast<std::int64_t>(item.adapterIndex))
        .field("connection_name", item.text)
        .field("interface_name", interfaceName)
        .endObject();
}

// "results": each address's (or entry's) result, as its log line says it.
void writeResults(JsonWriter& json, const std::vector<nicops::ipops::AddressResult>& results,
                  bool withEntry) {
    const auto textOrNull = [&json](std::string_view name, const std::string& value) {
        json.key(name);
        value.empty() ? json.null() : json.text(value);
    };
    json.key("results").beginArray();
    for (const auto& result : results) {
        json.beginObject();
        if (withEntry) {
            json.field("entry", result.entry);
        }
        textOrNull("address", result.address);
        textOrNull("mask", result.mask);
        json.field("outcome", outcomeWord(result.outcome));
        json.key("code");
        result.code ? json.number(*result.code) : json.null();
        textOrNull("log", result.message);
        json.endObject();
    }
    json.endArray();
}

// The copy text of every address, lines ending LF on the terminal; the clipboard is stdout.
class CapturedClipboard final : public nicops::platform::Clipboard {
public:
    bool setText(const std::string& gbk) override {
        text = gbk;
        return true;
    }
    std::string text;
};

}  // namespace

int cannotRun(const Options& options, Session& session, const std::string& message, int status) {
    std::fprintf(stderr, "nicopsctl: %s\n", message.c_str());
    if (options.json) {
        JsonWriter json;
        json.beginObject()
            .field("error", nicops::text::encodingToGbk(message, nicops::text::terminalEncoding()))
            .endObject();
        session.output.write(json.document());
    }
    return status;
}

std::string configDirectory(const Options& options) {
    return options.configDir.empty() ? nicops::platform::defaultConfigDirectory()
                                     : options.configDir;
}

// The adapter-box position of SEL: an adapter index, else a connection name, else an adapter
// (interface) name. A selector that names an adapter in an earlier sense wins over a later one.
int findAdapter(const std::vector<ui::ComboItem>& items, const inventory::AdapterSnapshot& snapshot,
                const std::string& selector) {
    const auto position = [&](auto&& matches) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (matches(items[i])) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    int found = -1;
    if (!selector.empty() && selector.find_first_not_of("0123456789") == std::string::npos) {
        found = position(
            [&](const auto& item) { return std::to_string(item.adapterIndex) == selector; });
    }
    const std::string name =
        nicops::text::encodingToGbk(selector, nicops::text::terminalEncoding());
    if (found < 0) {
        found = position([&](const auto& item) { return item.text == name; });
    }
    if (found < 0) {
        found = position([&](const auto& item) {
            const auto* record = snapshot.adapters.find(item.adapterIndex);
            return record != nullptr && record->adapterName == name;
        });
    }
    return found;
}

int runAdapters(const Options& options, Session& session) {
    const auto& items = session.items;
    nicops::app::ConsoleView& view = *session.view;
    if (options.json) {
        JsonWriter json;
        beginDocument(json, options, session, false).key("adapters").beginArray();
        std::lock_guard lock(session.context->snapshotMutex);
        for (const auto& item : items) {
            const auto* record = session.context->snapshot.adapters.find(item.adapterIndex);
            json.beginObject()
                .field("index", static_cast<std::int64_t>(item.adapterIndex))
                .field("connection_name", item.text)
                .field("interface_name", record != nullptr ? record->adapterName : std::string())
                .endObject();
        }
        return session.output.writeStatus(json.endArray().endObject().document());
    }
    std::string out;
    for (const auto& item : items) {
        out += std::to_string(item.adapterIndex) + "\t" + view.out(item.text) + "\n";
    }
    return session.output.writeStatus(out);
}

int runAdd(const Options& options, Session& session) {
    nicops::ui::AppContext& context = *session.context;
    nicops::ui::MainPresenter& presenter = *session.presenter;
    const std::string encoding = nicops::text::terminalEncoding();
    std::string rangeText;
    if (options.args.empty()) {
        rangeText = standardInputText();
    } else {
        for (std::size_t i = 0; i < options.args.size(); ++i) {
            rangeText +=
                (i == 0 ? "" : "\r\n") + nicops::text::encodingToGbk(options.args[i], encoding);
        }
    }
    if (options.dryRun) {
        const auto results = nicops::ipops::checkIpRanges(
            context.services(), presenter.currentAdapterIndex(), rangeText);
        if (options.json) {
            JsonWriter json;
            beginDocument(json, options, session).field("dry_run", true);
            writeResults(json, results, true);
            std::int64_t counts[3] = {};
            for (const auto& result : results) {
                ++counts[result.outcome == nicops::ipops::AddressOutcome::present  ? 0
                         : result.outcome == nicops::ipops::AddressOutcome::absent ? 1
                                                                                   : 2];
            }
            json.key("counts")
                .beginObject()
                .field("present", counts[0])
                .field("absent", counts[1])
                .field("invalid", counts[2])
                .endObject()
                .field("store_written", false);
            return session.output.writeStatus(json.endObject().document());
        }
        std::string out;
        for (const auto& result : results) {
            out += (result.address.empty() ? result.entry : result.address) + "\t" +
                   outcomeWord(result.outcome) + "\n";
        }
        return session.output.writeStatus(session.view->out(out));
    }
    const std::string mask =
        options.mask
            ? nicops::text::encodingToGbk(*options.mask, encoding)
            : nicops::ipops::loadDefaultMask(context.services(), presenter.currentAdapterIndex());
    nicops::ipops::OperationReport report;
    report.writeStore = !options.noStore;
    nicops::ipops::addIpRanges(context.services(), presenter, {rangeText, mask, options.probe},
                               &report);
    if (!options.json) {
        return 0;
    }
    JsonWriter json;
    beginDocument(json, options, session).field("dry_run", false).field("mask", mask);
    writeResults(json, report.results, true);
    json.key("counts")
        .beginObject()
        .field("succeeded", static_cast<std::int64_t>(report.successes))
        .field("failed", static_cast<std::int64_t>(report.failures))
        .endObject()
        .field("store_written", report.stored);
    return session.output.writeStatus(json.endObject().document());
}

// The report's lines as the members of "report", numbers as numbers, 是/否 as true/false.
std::string reportDocument(const Options& options, const Session& session, std::int32_t status) {
    using nicops::text::numberToText;
    inventory::AdapterRecord r;
    {
        std::lock_guard lock(session.context->snapshotMutex);
        if (const auto* found =
                session.context->snapshot.adapters.find(session.presenter->currentAdapterIndex())) {
            r = *found;
        }
    }
    JsonWriter json;
    beginDocument(json, options, session)
        .key("report")
        .beginObject()
        .field("connection_name", r.connectionName)
        .field("status", nicops::inventory::adapterStatusName(status))
        .field("status_code", static_cast<std::int64_t>(status))
        .field("description", r.description)
        .field("interface_name", r.adapterName)
        .field("physical_address", r.physicalAddress)
        .field("type", nicops::inventory::adapterTypeName(r.adapterType))
        .field("type_code", static_cast<std::int64_t>(r.adapterType))
        .field("dhcp_enabled", r.dhcpEnabled != 0)
        .field("address_count", static_cast<std::int64_t>(r.addressCount))
        .field("gateway_count", static_cast<std::int64_t>(r.gatewayCount))
        .field("dhcp_server_count", static_cast<std::int64_t>(r.dhcpServerCount))
        .field("wins_enabled", r.haveWins != 0)
        .field("primary_wins_count", static_cast<std::int64_t>(r.primaryWinsCount))
        .field("secondary_wins_count", static_cast<std::int64_t>(r.secondaryWinsCount))
        .field("primary_dns", r.primaryDns)
        .field("secondary_dns", r.secondaryDns)
        .field("lease_obtained", nicops::inventory::formatLeaseTime(numberToText(r.leaseObtained)))
        .field("lease_expires", nicops::inventory::formatLeaseTime(numberToText(r.leaseExpires)))
        .endObject();
    return json.endObject().document();
}

int runReport(const Options& options, Session& session) {
    nicops::ui::MainPresenter& presenter = *session.presenter;
    nicops::app::ConsoleView& view = *session.view;
    nicops::app::DataOutput& output = session.output;
    std::string out;
    const std::int32_t status = presenter.writeDetailsReport();
    if (options.json) {
        out = reportDocument(options, session, status);
    } else {
        for (const std::string& line : nicops::text::splitText(view.detailsReport(), "\r\n")) {
            out += view.out(line) + "\n";
        }
    }
    if (output.writeStatus(out) != 0) {
        return 1;
    }
    presenter.logLinkState(status);
    return 0;
}

int runList(const Options& options, Session& session) {
    nicops::ui::MainPresenter& presenter = *session.presenter;
    nicops::app::ConsoleView& view = *session.view;
    nicops::app::DataOutput& output = session.output;
    std::string out;
    const auto& kinds = options.kindsShown;
    for (AddressKind kind : nicops::inventory::kAllAddressKinds) {
        presenter.setKindChecked(kind, kinds[static_cast<std::size_t>(kind)]);
    }
    presenter.fillIpList();
    if (options.json) {
        namespace column = ui::list_column;
        JsonWriter json;
        beginDocument(json, options, session).key("rows").beginArray();
        for (const auto& row : view.rows()) {
            json.beginObject()
                .key("id")
                .numberText(row.cells[column::kId])
                .field("address", row.cells[column::kAddress])
                .field("mask", row.cells[column::kMask])
                .key("context")
                .numberText(row.cells[column::kContext])
                .key("next")
                .numberText(row.cells[column::kNext])
                .key("adapter_index")
                .numberText(row.cells[column::kAdapterIndex])
                .field("external_address", row.cells[column::kExternalAddress])
                .field("kind", kindWord(row.kind))
                .endObject();
        }
        return output.writeStatus(json.endArray().endObject().document());
    }
    // The rows are joined in GBK and converted in one step.
    out.reserve(view.rows().size() * 64);
    for (const auto& row : view.rows()) {
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            if (c != 0) {
                out += '\t';
            }
            out += row.cells[c];
        }
        out += '\n';
    }
    return output.writeStatus(view.out(out));
}

// Selects the list rows of the given addresses (the list shows the kinds of --kinds, the address
// kind without it) and runs the delete on them. An address the list doesn't show is not selected
// and says so.
int runDelete(const Options& options, Session& session) {
    nicops::ui::AppContext& context = *session.context;
    nicops::ui::MainPresenter& presenter = *session.presenter;
    for (AddressKind kind : nicops::inventory::kAllAddressKinds) {
        presenter.setKindChecked(kind, options.kindsShown[static_cast<std::size_t>(kind)]);
    }
    presenter.fillIpList();
    const auto rows = presenter.rows();
    const std::string encoding = nicops::text::terminalEncoding();
    // Each address's rows, so that selecting 10,000 addresses is not 10,000 walks of the list.
    std::unordered_multimap<std::string, std::size_t> rowsOf;
    rowsOf.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rowsOf.emplace(rows[r].cells[ui::list_column::kAddress], r);
    }
    std::set<std::size_t> selection;
    nicops::ipops::OperationReport report;
    report.writeStore = !options.noStore;
    std::vector<nicops::ipops::AddressResult> notFound;
    for (const std::string& arg : options.args) {
        const std::string address = nicops::text::encodingToGbk(arg, encoding);
        const auto [first, last] = rowsOf.equal_range(address);
        for (auto it = first; it != last; ++it) {
            selection.insert(it->second);
        }
        if (first == last) {
            const std::string message = "删除IP-地址 " + address + " 失败,列表中没有该地址.";
            presenter.appendLog(message);
            notFound.push_back({address,
                                address,
                                {},
                                nicops::ipops::AddressOutcome::notFound,
                                std::nullopt,
                                message});
        }
    }
    presenter.listSelectionChanged({selection.begin(), selection.end()});
    nicops::ipops::deleteSelectedAddresses(context.services(), presenter, presenter.selectedRows(),
                                           &report);
    if (!options.json) {
        return 0;
    }
    for (auto& result : report.results) {
        if (const auto found = rowsOf.find(result.address); found != rowsOf.end()) {
            result.mask = rows[found->second].cells[ui::list_column::kMask];
        }
    }
    notFound.insert(notFound.end(), report.results.begin(), report.results.end());
    JsonWriter json;
    beginDocument(json, options, session);
    writeResults(json, notFound, false);
    json.key("counts")
        .beginObject()
        .field("selected", static_cast<std::int64_t>(report.selected))
        .field("qualifying", static_cast<std::int64_t>(report.qualifying))
        .field("succeeded", static_cast<std::int64_t>(report.successes))
        .field("failed", static_cast<std::int64_t>(report.failures))
        .field("not_found", static_cast<std::int64_t>(notFound.size() - report.results.size()))
        .endObject()
        .field("store_written", report.stored);
    return session.output.writeStatus(json.endObject().document());
}

int runRestore(const Options&, Session& session) {
    nicops::ipops::restoreAddresses(session.context->services(), *session.presenter);
    return 0;
}

int runDhcp(const Options&, Session& session) {
    return nicops::ipops::switchToDhcp(*session.context->configuration, *session.presenter,
                                       connectionName(session))
               ? 0
               : 1;
}

// Applies static's values; nothing is printed unless they could not be applied, then the reason
// is nicopsctl's one error line (the refusal the window logs included).
int runStatic(const Options& options, Session& session) {
    class ReasonOnly final : public nicops::ipops::OperationHost {
    public:
        void appendLog(std::string_view) override {}  // the reason comes back as `problem`
        void setBusy(bool) override {}
        void refreshDisplay() override {}
        std::uint32_t currentAdapterIndex() const override { return nicops::ui::kNoAdapter; }
    } host;
    std::string problem;
    if (nicops::ipops::switchToStatic(*session.context->configuration, host,
                                      connectionName(session), options.staticValues, problem)) {
        return 0;
    }
    if (problem.empty()) {
        std::fprintf(stderr, "nicopsctl: the adapter was not switched to these values\n");
    } else {
        std::fprintf(
            stderr, "nicopsctl: %s\n",
            nicops::text::gbkToEncoding(problem, nicops::text::terminalEncoding()).c_str());
    }
    return 1;
}

// preset N prints the preset's lines; preset N --set stores standard input as the preset.
int runPreset(const Options& options, Session& session) {
    DataOutput& output = session.output;
    const std::string configDir = configDirectory(options);
    const std::string iniPath = nicops::platform::settingsFilePath(configDir);
    const std::string section(nicops::settings::kSettingsSection);
    if (options.set) {
        const std::string text = standardInputText();
        nicops::platform::prepareSettingsFolder(iniPath);
        std::string why;
        if (!nicops::ipops::savePresetText(iniPath, section,
                                           nicops::ipops::presetKey(options.preset), text, &why)) {
            // The old file stays as it was; the reason names the file and what went wrong.
            std::fprintf(stderr, "nicopsctl: cannot write %s (%s)\n", iniPath.c_str(), why.c_str());
            return 1;
        }
        return 0;
    }
    std::string out = nicops::text::replaceText(
        nicops::ipops::loadPresetText(iniPath, section, options.preset), "\r\n", "\n");
    if (!out.empty() && !out.ends_with('\n')) {
        out += '\n';
    }
    const std::string encoding = nicops::text::terminalEncoding();
    return output.writeStatus(nicops::text::gbkToEncoding(out, encoding));
}

// lookup queries every address of every adapter and prints what came back; export (and lookup
// --export) prints the copy text. Both log as the window's menu items do.
int runExternal(const Options& options, Session& session) {
    nicops::ui::AppContext& context = *session.context;
    nicops::ui::MainPresenter& presenter = *session.presenter;
    nicops::app::ConsoleView& view = *session.view;
    nicops::app::DataOutput& output = session.output;
    nicops::settings::AppSettings settings = context.settings.get();
    if (options.format) {
        settings.copyFormat =
            nicops::text::encodingToGbk(*options.format, nicops::text::terminalEncoding());
    }
    if (options.concurrency) {
        settings.lookupConcurrency = *options.concurrency;
    }
    context.settings.set(settings);
    std::string out;
    if (options.command == "lookup") {
#ifdef _WIN32
        // As the window's start-up does: Libcurl.dll beside the program, written when missing.
        if (!nicops::external::ensureHttpLibrary({})) {
            return cannotRun(options, session,
                             "Libcurl.dll is missing beside the program and can't be written "
                             "there");
        }
#endif
        nicops::external::queryExternalAddresses(context.services(), presenter, context.settings);
        std::lock_guard lock(context.snapshotMutex);
        out.reserve(context.snapshot.addresses.count() * 48);
        for (const auto& [address, entry] : context.snapshot.addresses) {
            out += address + "\t" + entry.externalAddress + "\t" + entry.location + "\n";
        }
    }
    if (options.json) {
        JsonWriter json;
        beginDocument(json, options, session, false).key("results").beginArray();
        {
            std::lock_guard lock(context.snapshotMutex);
            for (const auto& [address, entry] : context.snapshot.addresses) {
                json.beginObject()
                    .field("address", address)
                    .field("external_address", entry.externalAddress)
                    .field("location", entry.location)
                    .endObject();
            }
        }
        json.endArray();
        if (options.exportAfter) {
            CapturedClipboard clipboard;
            nicops::external::exportAddressesToClipboard(context.services(), presenter,
                                                         context.settings, clipboard);
            // One member per line, without the line ends.
            std::string copied = clipboard.text;
            if (copied.ends_with("\r\n")) {
                copied.resize(copied.size() - 2);
            }
            json.key("copy_text").beginArray();
            if (!copied.empty()) {
                for (const std::string& line : nicops::text::splitText(copied, "\r\n")) {
                    json.text(line);
                }
            }
            json.endArray();
        }
        return output.writeStatus(json.endObject().document());
    }
    if (options.command == "export" || options.exportAfter) {
        CapturedClipboard clipboard;
        nicops::external::exportAddressesToClipboard(context.services(), presenter,
                                                     context.settings, clipboard);
        out += nicops::text::replaceText(clipboard.text, "\r\n", "\n");
    }
    return output.writeStatus(view.out(out));
}

}  // namespace nicops::app::ctl
