#include "text/codepage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <langinfo.h>
#endif

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace nicops::text {
namespace {

#ifndef _WIN32
constexpr const char* kGbk = "GBK";
constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// iconv_open's failure value.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

// An iconv descriptor. Opening one costs far more than converting an address, and a descriptor
// carries shift state, so each thread keeps its own per direction.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != kNoConverter)
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

iconv_t utf8ToGbkConverter() {
    thread_local Converter converter(kGbk, kUtf8);
    return converter.get();
}

iconv_t gbkToUtf8Converter() {
    thread_local Converter converter(kUtf8, kGbk);
    return converter.get();
}

iconv_t gbkToUtf16Converter() {
    thread_local Converter converter(kUtf16, kGbk);
    return converter.get();
}

iconv_t utf16ToGbkConverter() {
    thread_local Converter converter(kGbk, kUtf16);
    return converter.get();
}

// The last converter between GBK and a named codeset used by this thread, one per direction;
// the terminal's codeset does not change.
template <bool kFromGbk>
iconv_t namedConverter(const std::string& encoding) {
    struct Named {
        bool opened = false;
        std::string name;
        iconv_t cd = kNoConverter;
        ~Named() {
            if (cd != kNoConverter)
                iconv_close(cd);
        }
    };
    thread_local Named named;
    if (!named.opened || named.name != encoding) {
        if (named.cd != kNoConverter)
            iconv_close(named.cd);
        named.cd =
            kFromGbk ? iconv_open(encoding.c_str(), kGbk) : iconv_open(kGbk, encoding.c_str());
        named.name = encoding;
        named.opened = true;
    }
    return named.cd;
}

#endif

// How many input bytes the character at `pos` occupies, for a character that could not be
// converted. The whole character is dropped, so one "?" stands for it.
std::size_t utf8CharLength(std::string_view in, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(in[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    std::size_t taken = 1;
    while (taken < length && pos + taken < in.size() &&
           (static_cast<unsigned char>(in[pos + taken]) & 0xC0) == 0x80) {
        ++taken;
    }
    return taken;
}

std::size_t utf16CharLength(std::string_view in, std::size_t pos) {
    char16_t unit;
    std::memcpy(&unit, in.data() + pos, sizeof unit);
    if (unit >= 0xD800 && unit <= 0xDBFF && pos + 4 <= in.size()) {
        char16_t low;
        std::memcpy(&low, in.data() + pos + 2, sizeof low);
        if (low >= 0xDC00 && low <= 0xDFFF)
            return 4;
    }
    return 2;
}

// A lead byte with a byte of the trail range is one (unmapped) character; anything else drops
// one byte, so an ASCII byte after a stray lead byte survives.
std::size_t gbkCharLength(std::string_view in, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(in[pos]);
    if (lead >= 0x81 && lead <= 0xFE && pos + 1 < in.size()) {
        const auto trail = static_cast<unsigned char>(in[pos + 1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F)
            return 2;
    }
    return 1;
}

using CharLength = std::size_t (*)(std::string_view, std::size_t);

#ifndef _WIN32
// The input's code units: bytes, or UTF-16 units seen as bytes in native order.
template <std::size_t kUnitBytes>
char16_t unitAt(std::string_view in, std::size_t pos) {
    if constexpr (kUnitBytes == 1) {
        return static_cast<unsigned char>(in[pos]);
    } else {
        char16_t unit;
        std::memcpy(&unit, in.data() + pos, sizeof unit);
        return unit;
    }
}

// Converts `in` with `cd` and returns the result. ASCII passes through unchanged without iconv
// (most text is addresses); each character the converter rejects, whether it is malformed or has
// no counterpart in the target, becomes one "?".
template <class Out, std::size_t kUnitBytes, bool kAsciiRuns = true>
Out convert(iconv_t cd, std::string_view in, CharLength charLength) {
    using OutUnit = typename Out::value_type;
    constexpr std::size_t kOutBytes = sizeof(OutUnit);

    std::size_t pos = 0;
    while (pos < in.size() && unitAt<kUnitBytes>(in, pos) < 0x80)
        pos += kUnitBytes;

    Out out;
    if (pos == in.size()) {
        out.resize(in.size() / kUnitBytes);
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<OutUnit>(unitAt<kUnitBytes>(in, i * kUnitBytes));
        }
        return out;
    }

    // Room for the usual growth (GBK to UTF-8 is at most 3 bytes for 2); grown when short.
    out.resize(pos / kUnitBytes + (in.size() - pos) * 2 / kOutBytes + 16);
    for (std::size_t i = 0; i < pos / kUnitBytes; ++i) {
        out[i] = static_cast<OutUnit>(unitAt<kUnitBytes>(in, i * kUnitBytes));
    }
    std::size_t written = pos / kUnitBytes * kOutBytes;  // bytes

    auto room = [&](std::size_t bytes) {
        if (out.size() * kOutBytes - written < bytes)
            out.resize(out.size() * 2 + bytes);
    };
    auto putReplacement = [&] {
        room(kOutBytes);
        out[written / kOutBytes] = static_cast<OutUnit>('?');
        written += kOutBytes;
    };

    if (cd == kNoConverter) {
        // Without a converter only ASCII survives.
        while (pos < in.size()) {
            const char16_t unit = unitAt<kUnitBytes>(in, pos);
            if (unit < 0x80) {
                room(kOutBytes);
                out[written / kOutBytes] = static_cast<OutUnit>(unit);
                written += kOutBytes;
                pos += kUnitBytes;
            } else {
                putReplacement();
                pos += charLength(in, pos);
            }
        }
        out.resize(written / kOutBytes);
        return out;
    }

    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::size_t limit = in.size();  // end of the part handed to iconv
    while (pos < in.size()) {
        if constexpr (kAsciiRuns) {
            // ASCII runs are copied; iconv sees only the characters between them.
            std::size_t runEnd = pos;
            while (runEnd < in.size() && unitAt<kUnitBytes>(in, runEnd) < 0x80)
                runEnd += kUnitBytes;
            room((runEnd - pos) / kUnitBytes * kOutBytes);
            OutUnit* target = out.data() + written / kOutBytes;
            if constexpr (kUnitBytes == 1 && kOutBytes == 1) {
                std::memcpy(target, in.data() + pos, runEnd - pos);
            } else {
                for (std::size_t i = pos; i < runEnd; i += kUnitBytes)
                    *target++ = static_cast<OutUnit>(unitAt<kUnitBytes>(in, i));
            }
            written += (runEnd - pos) / kUnitBytes * kOutBytes;
            pos = runEnd;
            if (pos == in.size())
                break;
            limit = pos;
            while (limit < in.size() && unitAt<kUnitBytes>(in, limit) >= 0x80)
                limit += charLength(in, limit);
            limit = std::min(limit, in.size());
        }
        char* inPtr = const_cast<char*>(in.data() + pos);
        std::size_t inLeft = limit - pos;
        char* base = reinterpret_cast<char*>(out.data());
        char* outPtr = base + written;
        std::size_t outLeft = out.size() * kOutBytes - written;
        const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        pos = static_cast<std::size_t>(inPtr - in.data());
        written = static_cast<std::size_t>(outPtr - base);
        if (result != static_cast<std::size_t>(-1))
            continue;  // this part is done
        if (error == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL (cut off at the end): drop the whole character.
        putReplacement();
        pos += charLength(in, pos);
    }
    // Return a stateful target to its initial shift state.
    for (;;) {
        room(16);
        char* base = reinterpret_cast<char*>(out.data());
        char* outPtr = base + written;
        std::size_t outLeft = out.size() * kOutBytes - written;
        const std::size_t result = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        written = static_cast<std::size_t>(outPtr - base);
        if (result != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        out.resize(out.size() * 2);
    }
    out.resize(written / kOutBytes);
    return out;
}

#endif

std::string_view asBytes(std::u16string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

// Names the terminal may report for which the output is UTF-8.
bool namesUtf8OrAscii(const std::string& encoding) {
    std::string upper;
    upper.reserve(encoding.size());
    for (const char c : encoding) {
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "US-ASCII" ||
           upper == "UTF-8" || upper == "UTF8";
}

#ifdef _WIN32
// On Windows the system's own conversion functions do the work, GBK being code page 936. A text
// is converted whole; only when the system rejects it (or maps a character into the private-use
// area, which GBK leaves unassigned) is it converted character by character, so that each bad
// character becomes one "?".
constexpr UINT kGbkCodePage = 936;

bool privateUse(char16_t unit) {
    return unit >= 0xE000 && unit <= 0xF8FF;
}

// Appends the UTF-16 of `part` (bytes in `codePage`) to `out`; false when the system rejects
// it or it holds a private-use character.
bool appendUtf16(UINT codePage, std::string_view part, std::u16string& out) {
    if (part.empty())
        return true;
    const int size = static_cast<int>(part.size());
    const int needed =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, part.data(), size, nullptr, 0);
    if (needed <= 0)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(needed));
    auto* target = reinterpret_cast<wchar_t*>(out.data() + at);
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, part.data(), size, target, needed) !=
            needed ||
        std::any_of(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), privateUse)) {
        out.resize(at);
        return false;
    }
    return true;
}

// Appends `part` (UTF-16) in `codePage` to `out`; false when a character has no counterpart.
bool appendBytes(UINT codePage, std::u16string_view part, std::string& out) {
    if (part.empty())
        return true;
    if (std::any_of(part.begin(), part.end(), privateUse))
        return false;
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const auto* source = reinterpret_cast<const wchar_t*>(part.data());
    const int size = static_cast<int>(part.size());
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultSlot = utf8 ? nullptr : &usedDefault;
    const int needed =
        WideCharToMultiByte(codePage, flags, source, size, nullptr, 0, nullptr, usedDefaultSlot);
    if (needed <= 0 || usedDefault)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(needed));
    WideCharToMultiByte(codePage, flags, source, size, out.data() + at, needed, nullptr,
                        usedDefaultSlot);
    return true;
}

template <class Text>
bool allAscii(const Text& text) {
    return std::all_of(text.begin(), text.end(),
                       [](auto unit) { return static_cast<std::uint32_t>(unit) < 0x80; });
}

std::u16string toUtf16(UINT codePage, std::string_view in, CharLength charLength) {
    std::u16string out;
    if (allAscii(in))
        return {in.begin(), in.end()};
    if (appendUtf16(codePage, in, out))
        return out;
    for (std::size_t pos = 0; pos < in.size();) {
        const std::size_t length = charLength(in, pos);
        if (!appendUtf16(codePage, in.substr(pos, length), out))
            out.push_back(u'?');
        pos += length;
    }
    return out;
}

std::string fromUtf16(UINT codePage, std::u16string_view in) {
    std::string out;
    if (allAscii(in))
        return {in.begin(), in.end()};
    if (appendBytes(codePage, in, out))
        return out;
    const std::string_view bytes = asBytes(in);
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t length = utf16CharLength(bytes, pos);
        if (!appendBytes(codePage, in.substr(pos / 2, length / 2), out))
            out.push_back('?');
        pos += length;
    }
    return out;
}

// The code page of an encoding name: UTF-8 and ASCII, the names of GBK and its supersets,
// ISO-8859-1, and "CPnnn" (what terminalEncoding gives); 0 for a name Windows does not know.
UINT codePageOf(const std::string& encoding) {
    std::string upper;
    for (const char c : encoding)
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (namesUtf8OrAscii(encoding))
        return CP_UTF8;
    if (upper == "GBK" || upper == "GB2312" || upper == "GB18030")
        return kGbkCodePage;
    if (upper == "ISO-8859-1" || upper == "LATIN1")
        return 28591;
    if (upper.size() > 2 && upper.compare(0, 2, "CP") == 0 &&
        std::all_of(upper.begin() + 2, upper.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const UINT codePage = static_cast<UINT>(std::stoul(upper.substr(2)));
        return IsValidCodePage(codePage) ? codePage : 0;
    }
    return 0;
}
#endif

}  // namespace

#ifdef _WIN32
std::string utf8ToGbk(std::string_view utf8) {
    return fromUtf16(kGbkCodePage, toUtf16(CP_UTF8, utf8, utf8CharLength));
}

std::string gbkToUtf8(std::string_view gbk) {
    return fromUtf16(CP_UTF8, toUtf16(kGbkCodePage, gbk, gbkCharLength));
}

std::u16string gbkToUtf16(std::string_view gbk) {
    return toUtf16(kGbkCodePage, gbk, gbkCharLength);
}

std::string utf16ToGbk(std::u16string_view utf16) {
    return fromUtf16(kGbkCodePage, utf16);
}

std::string gbkToEncoding(std::string_view gbk, const std::string& encoding) {
    const UINT codePage = codePageOf(encoding);
    if (codePage == 0)
        return gbkToUtf8(gbk);
    return fromUtf16(codePage, toUtf16(kGbkCodePage, gbk, gbkCharLength));
}

std::string encodingToGbk(std::string_view text, const std::string& encoding) {
    const UINT codePage = codePageOf(encoding);
    if (codePage == 0)
        return utf8ToGbk(text);
    return fromUtf16(kGbkCodePage, toUtf16(codePage, text, [](std::string_view, std::size_t) {
                         return std::size_t{1};
                     }));
}

// The console's output code page ("CP936"); without a console (output to a pipe or a file of a
// program started without one) the ANSI code page, that of every other text of the system; UTF-8
// for code page 65001.
std::string terminalEncoding() {
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) {
        codePage = GetACP();
    }
    if (codePage == CP_UTF8)
        return "UTF-8";
    return "CP" + std::to_string(codePage);
}
#else
std::string utf8ToGbk(std::string_view utf8) {
    return convert<std::string, 1>(utf8ToGbkConverter(), utf8, utf8CharLength);
}

std::string gbkToUtf8(std::string_view gbk) {
    return convert<std::string, 1>(gbkToUtf8Converter(), gbk, gbkCharLength);
}

std::u16string gbkToUtf16(std::string_view gbk) {
    return convert<std::u16string, 1>(gbkToUtf16Converter(), gbk, gbkCharLength);
}

std::string utf16ToGbk(std::u16string_view utf16) {
    return convert<std::string, 2>(utf16ToGbkConverter(), asBytes(utf16), utf16CharLength);
}

std::string gbkToEncoding(std::string_view gbk, const std::string& encoding) {
    if (encoding.empty() || namesUtf8OrAscii(encoding))
        return gbkToUtf8(gbk);
    const iconv_t cd = namedConverter<true>(encoding);
    // A codeset iconv does not know is taken as UTF-8.
    if (cd == kNoConverter)
        return gbkToUtf8(gbk);
    // Any codeset may keep shift state, so it sees the whole text.
    return convert<std::string, 1, false>(cd, gbk, gbkCharLength);
}

std::string encodingToGbk(std::string_view text, const std::string& encoding) {
    if (encoding.empty() || namesUtf8OrAscii(encoding))
        return utf8ToGbk(text);
    const iconv_t cd = namedConverter<false>(encoding);
    if (cd == kNoConverter)
        return utf8ToGbk(text);
    // A byte the codeset rejects drops alone: the codeset's own character lengths are unknown.
    return convert<std::string, 1, false>(
        cd, text, [](std::string_view, std::size_t) { return std::size_t{1}; });
}

std::string terminalEncoding() {
    const char* codeset = nl_langinfo(CODESET);
    std::string name = codeset != nullptr ? codeset : "";
    if (name.empty() || name == "ANSI_X3.4-1968")
        return kUtf8;
    return name;
}
#endif

std::string wideToOem(std::u16string_view wideText) {
    return utf16ToGbk(wideText.substr(0, wideText.find(u'\0')));
}

}  // namespace nicops::text
