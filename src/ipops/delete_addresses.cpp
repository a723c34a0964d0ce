#include "ipops/delete_addresses.h"

#include <algorithm>
#include <cstdint>

#include "ipops/add_range.h"
#include "ipops/persisted_settings.h"
#include "text/text_functions.h"

namespace nicops::ipops {

using text::numberToText;

void deleteSelectedAddresses(const OperationServices& services, OperationHost& host,
                             const std::vector<SelectedRow>& rows, OperationReport* report) {
    host.setBusy(true);
    // The adapter whose rows are selected; the refresh may show another one if its link goes.
    const std::uint32_t adapterIndex = host.currentAdapterIndex();
    host.appendLog("已经开始启用选中项目,请稍后...");
    if (rows.empty()) {
        host.appendLog("没有选中任何要启用的项目！");
        host.setBusy(false);
        return;
    }
    if (const std::string problem = services.ipHelper.addressChangeProblem(); !problem.empty()) {
        host.appendLog(problem);
    }
    const auto selected = static_cast<std::uint32_t>(rows.size());
    std::uint32_t qualifying = 0;
    std::uint32_t successes = 0;
    std::uint32_t failures = 0;

    // The address rows, in row order. Their contexts go to the backend in one call: it deletes
    // secondaries before their primary, which it can only do for what it sees at once — a
    // primary deleted while secondaries of a later call remain makes the kernel promote one and
    // move every other along (one selection of 10,000 took three times as long in batches).
    std::vector<const SelectedRow*> addressRows;
    std::vector<std::uint32_t> contexts;
    for (const SelectedRow& row : rows) {
        if (row.kind == inventory::AddressKind::address) {
            addressRows.push_back(&row);
            contexts.push_back(row.context);
        }
    }
    qualifying = static_cast<std::uint32_t>(addressRows.size());
    const std::vector<std::uint32_t> codes = contexts.empty()
                                                 ? std::vector<std::uint32_t>{}
                                                 : services.ipHelper.deleteIpAddresses(contexts);
    for (std::size_t i = 0; i < addressRows.size(); ++i) {
        const std::uint32_t code = i < codes.size() ? codes[i] : 0xFFFFFFFFU;
        const std::string& address = addressRows[i]->address;
        std::string message;
        if (code == platform::kNoError) {
            ++successes;
            message = "成功删除IP-地址 " + address;
        } else {
            ++failures;
            message = "删除IP-地址 " + address + " 失败,返回代码" + numberToText(code) + ".";
        }
        host.appendLog(message);
        if (report != nullptr) {
            report->results.push_back(
                {address,
                 address,
                 {},
                 code == platform::kNoError ? AddressOutcome::deleted : AddressOutcome::failed,
                 code,
                 message});
        }
    }
    host.refreshDisplay();
    host.appendLog("删除选中项目完成,共计选中" + numberToText(selected) + "条,符合启用条件" +
                   numberToText(qualifying) + "条,其中成功" + numberToText(successes) + " 失败" +
                   numberToText(failures) + ".");
    const bool stored = report != nullptr && !report->writeStore
                            ? false
                            : persistAddresses(services, host, adapterIndex);
    if (report != nullptr) {
        report->selected = selected;
        report->qualifying = qualifying;
        report->successes = successes;
        report->failures = failures;
        report->stored = stored;
    }
    host.setBusy(false);
}

}  // namespace nicops::ipops
