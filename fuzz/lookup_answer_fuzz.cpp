// The lookup's answer, on any body: an answer is taken only with an ip value that is an IP
// address, and then the location holds no control byte; a refused answer leaves both results
// as they were. An answer the endpoint built, for any address and location texts, reads back
// as those values (in GBK) through the same path the lookup takes.
#include <arpa/inet.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "echo/answer.h"
#include "external/address_lookup.h"
#include "fuzz_check.h"
#include "settings/app_settings.h"
#include "text/codepage.h"

using namespace nicops;

namespace {

bool controlFree(std::string_view s) {
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            return false;
        }
    }
    return true;
}

bool parsesAsAddress(const std::string& s) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, s.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, s.c_str(), buffer) == 1;
}

std::string controlsAsSpaces(std::string s) {
    for (char& c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            c = ' ';
        }
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = nicops::fuzz::inputText(data, size);
    const std::string format(settings::kDefaultLocationFormat);

    // The whole input as a body.
    const std::string body = text::utf8ToGbk(input);
    std::string address = "\x02unchanged";
    std::string location = "\x02unchanged";
    if (external::readLookupAnswer(body, format, address, location)) {
        FUZZ_CHECK(external::isIpAddressText(address) && parsesAsAddress(address));
        FUZZ_CHECK(controlFree(location));
    } else {
        FUZZ_CHECK(address == "\x02unchanged" && location == "\x02unchanged");
    }
    FUZZ_CHECK(external::isIpAddressText(input) ==
               (input.find('\0') == std::string_view::npos && !input.empty() &&
                parsesAsAddress(std::string(input))));

    // The input as the endpoint's values: ip, country, region, city, as.
    const auto parts = nicops::fuzz::cutInput(input, 5);
    echo::Location place{std::string(parts[1]), std::string(parts[2]), std::string(parts[3]),
                         std::string(parts[4])};
    const std::string answer = text::utf8ToGbk(echo::buildAnswer(parts[0], place));
    const std::string ip = text::utf8ToGbk(echo::sanitizeValue(parts[0]));
    const auto gbk = [](std::string_view value) {
        return controlsAsSpaces(text::utf8ToGbk(echo::sanitizeValue(value)));
    };
    std::string readAddress;
    std::string readLocation;
    const bool taken = external::readLookupAnswer(answer, "{国家}|{地区}|{城市}|{线路}",
                                                  readAddress, readLocation);
    FUZZ_CHECK(taken == external::isIpAddressText(ip));
    if (taken) {
        FUZZ_CHECK(readAddress == ip);
        FUZZ_CHECK(readLocation ==
                   gbk(parts[1]) + "|" + gbk(parts[2]) + "|" + gbk(parts[3]) + "|" + gbk(parts[4]));
    }
    return 0;
}
