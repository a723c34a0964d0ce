#include "external/clipboard_export.h"

#include <mutex>

#include "text/text_functions.h"

namespace nicops::external {

namespace {

// Every `placeholder` of `line` (matched at character starts: a GBK character's second byte is
// never the start of a match) replaced by `value`, into `out`. Placeholders start with '{', an
// ASCII byte, so only units holding that byte are compared.
void replaceInto(std::string& out, std::string_view line, std::string_view placeholder,
                 std::string_view value) {
    out.clear();
    const std::size_t size = line.size();
    std::size_t i = 0;
    while (i < size) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x80) {
            const std::size_t unit = i + 1 < size ? 2 : 1;
            out.append(line.data() + i, unit);
            i += unit;
        } else if (c == '{' && line.compare(i, placeholder.size(), placeholder) == 0) {
            out.append(value);
            i += placeholder.size();
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
}

// One replacement step on `line`, using `spare` as the buffer of the result.
void replaceStep(std::string& line, std::string& spare, std::string_view placeholder,
                 std::string_view value) {
    if (line.find(placeholder) == std::string::npos) {
        return;  // not even as bytes, so not as characters
    }
    replaceInto(spare, line, placeholder, value);
    line.swap(spare);
}

}  // namespace

std::string buildExportText(const inventory::AdapterSnapshot& snapshot,
                            std::string_view copyFormat) {
    std::string out;
    out.reserve(snapshot.addresses.count() * (copyFormat.size() + 48));
    std::string line;
    std::string spare;
    for (const auto& [address, entry] : snapshot.addresses) {
        line.assign(copyFormat);
        replaceStep(line, spare, kInternalAddressPlaceholder, address);
        replaceStep(line, spare, kInternalMaskPlaceholder, entry.mask);
        replaceStep(line, spare, kExternalAddressPlaceholder, entry.externalAddress);
        replaceStep(line, spare, kLocationPlaceholder, entry.location);
        out += line;
        out += "\r\n";
    }
    return out;
}

void exportAddressesToClipboard(const ipops::OperationServices& services,
                                ipops::OperationHost& host,
                                const settings::SharedSettings& settings,
                                platform::Clipboard& clipboard) {
    host.setBusy(true);
    const std::string copyFormat = settings.get().copyFormat;
    std::string exportText;
    std::size_t count = 0;
    {
        std::lock_guard lock(services.snapshotMutex);
        exportText = buildExportText(services.snapshot, copyFormat);
        count = services.snapshot.addresses.count();
    }
    const bool ok = clipboard.setText(exportText);
    const std::string n = text::numberToText(static_cast<std::int64_t>(count));
    if (ok) {
        host.appendLog("复制所有网卡IP完成,共计复制" + n + "个IP.");
    } else {
        host.appendLog("共计复制" + n + "个IP,复制到剪辑版失败！");
    }
    host.setBusy(false);
}

}  // namespace nicops::external
