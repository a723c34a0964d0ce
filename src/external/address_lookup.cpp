#include "external/address_lookup.h"

#include <memory>
#include <mutex>
#include <vector>

#include "external/http_library.h"
#include "platform/inet.h"
#include "text/codepage.h"
#include "text/text_functions.h"

namespace nicops::external {

namespace {

std::string lookupUrl(std::string server) {
    while (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    return server + std::string(kLookupPath);
}

// Redirects followed for one lookup; a longer chain (a loop among them) fails it.
constexpr long kMaxRedirects = 10;

// One request: its handle, the body received so far, whether the answer grew too long and how
// the transfer ended.
struct Request {
    Request(const HttpLibrary& library, std::size_t keyIndex) : lib(library), index(keyIndex) {}
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() {
        if (easy != nullptr) {
            lib.easyCleanup(easy);
        }
    }

    const HttpLibrary& lib;
    std::size_t index;
    CURL* easy = nullptr;
    std::string body;
    std::size_t headerBytes = 0;  // of every answer of the redirect chain
    bool tooLong = false;
    CURLcode result = CURLE_OK;
    std::string locationFormat;
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<Request*>(userData);
    const std::size_t length = size * count;
    if (request->body.size() + length > kMaxResponseBytes) {
        request->tooLong = true;
        return 0;  // ends the transfer with a write error
    }
    request->body.append(data, length);
    return length;
}

std::size_t countHeader(char*, std::size_t size, std::size_t count, void* userData) {
    auto* request = static_cast<Request*>(userData);
    const std::size_t length = size * count;
    request->headerBytes += length;
    if (request->headerBytes > kMaxResponseBytes) {
        request->tooLong = true;
        return 0;  // ends the transfer with a write error
    }
    return length;
}

// Sets the request up; false when the library has no handle for it.
bool prepare(Request& request, const std::string& localAddress,
             const settings::AppSettings& settings) {
    const HttpLibrary& lib = request.lib;
    request.easy = lib.easyInit();
    if (request.easy == nullptr) {
        return false;
    }
    request.body.reserve(512);
    request.locationFormat = settings.locationFormat;
    CURL* h = request.easy;
    lib.easySetopt(h, CURLOPT_PRIVATE, &request);
    lib.easySetopt(h, CURLOPT_NOSIGNAL, 1L);
    lib.easySetopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    lib.easySetopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    lib.easySetopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easySetopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    lib.easySetopt(h, CURLOPT_WRITEFUNCTION, appendBody);
    lib.easySetopt(h, CURLOPT_WRITEDATA, &request);
    lib.easySetopt(h, CURLOPT_HEADERFUNCTION, countHeader);
    lib.easySetopt(h, CURLOPT_HEADERDATA, &request);
    // An answer that announces a longer body is refused before any of it is read.
    lib.easySetopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxResponseBytes));
    // Every lookup leaves from its own address on a connection of its own.
    lib.easySetopt(h, CURLOPT_FRESH_CONNECT, 1L);
    lib.easySetopt(h, CURLOPT_FORBID_REUSE, 1L);
    // "host!" takes the text as an address; no interface of that name is searched for first.
    const std::string bind = "host!" + localAddress;
    lib.easySetopt(h, CURLOPT_INTERFACE, bind.c_str());
    const std::string url = lookupUrl(settings.lookupServer);
    lib.easySetopt(h, CURLOPT_URL, url.c_str());
    lib.easySetopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connectTimeoutMs));
    lib.easySetopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.requestTimeoutMs));
    if (settings.requestTimeoutMs <= 0) {
        // No limit for the whole request; a server that has gone silent is still given up.
        lib.easySetopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        lib.easySetopt(h, CURLOPT_LOW_SPEED_TIME, kStalledTransferSeconds);
    }
    return true;
}

// The outcome of a finished request. A transfer the library ended in failure (a time-out, a
// connection closed before the whole body came) never counts, whatever part of an answer came.
bool finish(Request& request, std::string& externalAddress, std::string& location) {
    if (request.easy == nullptr || request.tooLong || request.result != CURLE_OK) {
        return false;
    }
    long status = 0;
    request.lib.easyGetinfo(request.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        return false;
    }
    std::string body = text::utf8ToGbk(request.body);
    if (const auto zero = body.find('\0'); zero != std::string::npos) {
        body.resize(zero);
    }
    return readLookupAnswer(body, request.locationFormat, externalAddress, location);
}

// Whether the key is still in the table (a refresh may have rebuilt it meanwhile).
bool stillListed(const ipops::OperationServices& services, const std::string& key) {
    std::lock_guard lock(services.snapshotMutex);
    return services.snapshot.addresses.contains(key);
}

// Writes the results into the key's entry; true when the entry was there to be replaced.
bool storeResults(const ipops::OperationServices& services, const std::string& key,
                  std::string externalAddress, std::string location) {
    std::lock_guard lock(services.snapshotMutex);
    auto entry = services.snapshot.addresses.lookup(key);
    if (!entry) {
        return false;
    }
    entry->externalAddress = std::move(externalAddress);
    entry->location = std::move(location);
    return services.snapshot.addresses.store(key, std::move(*entry));
}

std::int64_t querySequentially(const ipops::OperationServices& services,
                               const settings::SharedSettings& settings,
                               const std::vector<std::string>& keys) {
    std::int64_t succeeded = 0;
    for (const std::string& key : keys) {
        if (!stillListed(services, key)) {
            continue;
        }
        std::string externalAddress;
        std::string location;
        if (lookupExternalAddress(key, settings.get(), externalAddress, location) &&
            storeResults(services, key, std::move(externalAddress), std::move(location))) {
            ++succeeded;
        }
    }
    return succeeded;
}

std::int64_t queryConcurrently(const ipops::OperationServices& services,
                               const settings::SharedSettings& settings,
                               const std::vector<std::string>& keys, std::size_t limit) {
    const HttpLibrary* library = httpLibrary();
    CURLM* multi = library == nullptr ? nullptr : library->multiInit();
    if (multi == nullptr) {
        return querySequentially(services, settings, keys);
    }
    const HttpLibrary& lib = *library;
    std::int64_t succeeded = 0;
    std::vector<std::unique_ptr<Request>> inFlight;
    std::size_t next = 0;
    const auto startMore = [&] {
        while (inFlight.size() < limit && next < keys.size()) {
            const std::size_t index = next++;
            if (!stillListed(services, keys[index])) {
                continue;
            }
            const settings::AppSettings current = settings.get();
            if (current.lookupServer.empty()) {
                continue;
            }
            auto request = std::make_unique<Request>(lib, index);
            if (!prepare(*request, keys[index], current) ||
                lib.multiAddHandle(multi, request->easy) != CURLM_OK) {
                continue;
            }
            inFlight.push_back(std::move(request));
        }
    };
    startMore();
    while (!inFlight.empty()) {
        int running = 0;
        if (lib.multiPerform(multi, &running) != CURLM_OK) {
            // The library can't carry these transfers on: they and the lookups not started yet
            // fail, rather than being waited for without end.
            break;
        }
        int queued = 0;
        while (CURLMsg* message = lib.multiInfoRead(multi, &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            lib.multiRemoveHandle(multi, easy);
            for (auto it = inFlight.begin(); it != inFlight.end(); ++it) {
                if ((*it)->easy != easy) {
                    continue;
                }
                (*it)->result = result;
                std::string externalAddress;
                std::string location;
                if (finish(**it, externalAddress, location) &&
                    storeResults(services, keys[(*it)->index], std::move(externalAddress),
                                 std::move(location))) {
                    ++succeeded;
                }
                inFlight.erase(it);
                break;
            }
        }
        startMore();
        if (!inFlight.empty()) {
            lib.multiPoll(multi, nullptr, 0, 100, nullptr);
        }
    }
    for (const auto& request : inFlight) {
        lib.multiRemoveHandle(multi, request->easy);
    }
    inFlight.clear();
    lib.multiCleanup(multi);
    return succeeded;
}

}  // namespace

bool isIpAddressText(std::string_view text) {
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN || !platform::startSockets()) {
        return false;
    }
    // inet_pton reads up to a zero byte: one inside would let it see only the part before.
    const std::string z(text);
    in6_addr address{};
    return z.find('\0') == std::string::npos && (inet_pton(AF_INET, z.c_str(), &address) == 1 ||
                                                 inet_pton(AF_INET6, z.c_str(), &address) == 1);
}

bool readLookupAnswer(std::string_view bodyGbk, std::string_view locationFormat,
                      std::string& externalAddress, std::string& location) {
    const auto value = [&](std::string_view key, std::string_view right = "\"") {
        std::string left(1, '"');
        left.append(key).append("\":\"");
        return text::extractBetween(bodyGbk, left, right);
    };
    std::string ip = value("ip");
    if (!isIpAddressText(ip)) {
        return false;
    }
    // A location value never breaks the line it is put into. Control bytes are never the second
    // byte of a GBK character, so each one is replaced on its own.
    const auto placeValue = [&](std::string_view key, std::string_view right = "\"") {
        std::string v = value(key, right);
        for (char& c : v) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 || b == 0x7F) {
                c = ' ';
            }
        }
        return v;
    };
    std::string place = text::replaceText(locationFormat, "{国家}", placeValue("country"));
    place = text::replaceText(place, "{地区}", placeValue("region"));
    place = text::replaceText(place, "{城市}", placeValue("city"));
    place = text::replaceText(place, "{线路}", placeValue("as", "\"}"));
    externalAddress = std::move(ip);
    location = std::move(place);
    return true;
}

bool lookupExternalAddress(const std::string& localAddress, const settings::AppSettings& settings,
                           std::string& externalAddress, std::string& location) {
    if (settings.lookupServer.empty()) {
        return false;
    }
    const HttpLibrary* library = httpLibrary();
    if (library == nullptr) {
        return false;
    }
    Request request(*library, 0);
    if (!prepare(request, localAddress, settings)) {
        return false;
    }
    request.result = library->easyPerform(request.easy);
    return finish(request, externalAddress, location);
}

void queryExternalAddresses(const ipops::OperationServices& services, ipops::OperationHost& host,
                            const settings::SharedSettings& settings) {
    host.setBusy(true);
    host.appendLog("已开始查询所有网卡IP对应外网IP,请稍后...");
    std::vector<std::string> keys;
    {
        std::lock_guard lock(services.snapshotMutex);
        keys = services.snapshot.addresses.keys();
    }
    const settings::AppSettings atStart = settings.get();
    std::int64_t succeeded = 0;
    if (atStart.lookupServer.empty()) {
        host.appendLog("未设置查询服务器.");
    } else if (atStart.lookupConcurrency <= 1 || keys.size() <= 1) {
        succeeded = querySequentially(services, settings, keys);
    } else {
        succeeded = queryConcurrently(services, settings, keys,
                                      static_cast<std::size_t>(atStart.lookupConcurrency));
    }
    host.showCurrentAdapter();
    host.appendLog("查询所有网卡IP对应外网IP完毕,共计查询" +
                   text::numberToText(static_cast<std::int64_t>(keys.size())) + "个,查询成功" +
                   text::numberToText(succeeded) + "个.");
    host.setBusy(false);
}

}  // namespace nicops::external
