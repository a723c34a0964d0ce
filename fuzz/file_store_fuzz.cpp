// The persisted store's file, any bytes, and any key, value name and text: a file that can't be
// parsed is never replaced; a value written reads back as its text (in the registry's form),
// every other value keeps what it read before, and the file written reads as written.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "platform/file_store.h"
#include "text/codepage.h"

using namespace nicops;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string folded(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return s;
}

// What reading `text` back gives: each item through UTF-8 and back, in the registry's form.
std::string readsAs(const std::string& text) {
    std::string joined;
    if (!text.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = text.find("\r\n", start);
            joined += text::utf8ToGbk(text::gbkToUtf8(text.substr(start, end - start)));
            if (end == std::string::npos) {
                break;
            }
            joined += "\r\n";
            start = end + 2;
        }
    }
    return platform::decodeMultiString(platform::encodeMultiString(joined));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = nicops::fuzz::inputText(data, size);
    const std::uint8_t choice = nicops::fuzz::takeByte(input);
    // The file, then the key below a root (the root given when the choice says so), the value
    // name and the text.
    const auto parts = nicops::fuzz::cutInput(input, 4);
    const std::string content(parts[0]);
    const std::string key =
        ((choice & 1) != 0 ? "HKEY_LOCAL_MACHINE\\" : "") + std::string(parts[1]);
    const std::string name(parts[2]);
    const std::string text(parts[3]);

    static const std::string path = nicops::fuzz::scratchFolder() + "/store.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    platform::FileStore store(path);

    // The values the file holds, as the store reads them.
    struct Value {
        std::string key;
        std::string name;
        std::string read;
    };
    std::vector<Value> values;
    const auto parsed = nlohmann::json::parse(content, nullptr, false);
    if (parsed.is_object()) {
        for (const auto& [k, v] : parsed.items()) {
            if (!v.is_object()) {
                continue;
            }
            for (const auto& [n, value] : v.items()) {
                (void)value;
                const std::string gk = text::utf8ToGbk(k);
                const std::string gn = text::utf8ToGbk(n);
                if (text::gbkToUtf8(gk) == k && text::gbkToUtf8(gn) == n) {
                    values.push_back({gk, gn, store.readMultiString(gk, gn)});
                }
            }
        }
    }
    (void)store.readTextValue(platform::kHkeyLocalMachine + (choice >> 4), key);

    if (!store.writeMultiString(key, name, text)) {
        FUZZ_CHECK(!store.lastError().empty());
        FUZZ_CHECK(readFile(path) == content);
        return 0;
    }
    const std::string written = readFile(path);
    FUZZ_CHECK(nlohmann::json::parse(written, nullptr, false).is_object());
    FUZZ_CHECK(store.readMultiString(key, name) == readsAs(text));
    for (const auto& value : values) {
        // A value of the same names as the file spells them (the root and letters without
        // case; a byte GBK can't hold is "?" there) may be the one written.
        const std::string a = folded(text::gbkToUtf8(value.key));
        const std::string b = folded(text::gbkToUtf8(key));
        if (folded(text::gbkToUtf8(value.name)) == folded(text::gbkToUtf8(name)) &&
            (a == b || a.substr(a.find('\\') + 1) == b.substr(b.find('\\') + 1))) {
            continue;
        }
        FUZZ_CHECK(store.readMultiString(value.key, value.name) == value.read);
    }
    // Writing the same value again changes nothing.
    FUZZ_CHECK(store.writeMultiString(key, name, text));
    FUZZ_CHECK(readFile(path) == written);
    return 0;
}
