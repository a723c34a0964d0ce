#include "platform/windows/wmi_connection.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
// clang-format on

#include <utility>

#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

// One reference to a COM object, released on destruction.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComRef() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }
    T* operator->() const { return object_; }
    T* get() const { return object_; }
    T** out() { return &object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

// COM on this thread for the length of one query. A thread already in a single-threaded
// apartment stays there (RPC_E_CHANGED_MODE), and COM is then not ours to end.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

class Bstr {
public:
    explicit Bstr(std::u16string_view text)
        : bstr_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

private:
    BSTR bstr_;
};

// A property as an unsigned number: WMI hands 64-bit integers over as decimal strings, smaller
// ones as integers. Nothing for a null or missing property or a negative value.
std::optional<std::uint64_t> numberProperty(IWbemClassObject* object, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr))) {
        return std::nullopt;
    }
    std::optional<std::uint64_t> number;
    const bool convertible = value.vt == VT_BSTR || value.vt == VT_UI1 || value.vt == VT_I2 ||
                             value.vt == VT_UI2 || value.vt == VT_I4 || value.vt == VT_UI4 ||
                             value.vt == VT_I8 || value.vt == VT_UI8;
    if (convertible && VariantChangeType(&value, &value, 0, VT_UI8) == S_OK) {
        number = value.ullVal;
    }
    VariantClear(&value);
    return number;
}

std::optional<bool> booleanProperty(IWbemClassObject* object, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr))) {
        return std::nullopt;
    }
    const std::optional<bool> flag =
        value.vt == VT_BOOL ? std::optional<bool>(value.boolVal != VARIANT_FALSE) : std::nullopt;
    VariantClear(&value);
    return flag;
}

// The first object the query selects; none when it fails or selects nothing.
ComRef<IWbemClassObject> firstObject(IWbemServices* services, std::u16string_view query) {
    ComRef<IEnumWbemClassObject> objects;
    ComRef<IWbemClassObject> first;
    if (FAILED(services->ExecQuery(Bstr(u"WQL"), Bstr(query),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   objects.out()))) {
        return first;
    }
    ULONG count = 0;
    if (objects->Next(static_cast<long>(WBEM_INFINITE), 1, first.out(), &count) !=
            WBEM_S_NO_ERROR ||
        count != 1) {
        return {};
    }
    return first;
}

std::optional<std::int32_t> smallNumber(std::optional<std::uint64_t> number) {
    if (!number || *number > 0x7FFFFFFF) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*number);
}

}  // namespace

std::u16string wqlStringLiteral(std::u16string_view text) {
    std::u16string literal = u"'";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'\'') {
            literal += u'\\';
        }
        literal += c;
    }
    return literal + u"'";
}

std::u16string connectionNameCondition(const std::string& connectionName) {
    return u"NetConnectionID=" + wqlStringLiteral(text::gbkToUtf16(connectionName));
}

std::optional<WmiConnectionFacts> queryConnectionFacts(const std::string& connectionName) {
    if (connectionName.empty()) {
        return std::nullopt;
    }
    return queryAdapterFacts(connectionNameCondition(connectionName));
}

std::optional<WmiConnectionFacts> queryAdapterFacts(std::u16string_view condition) {
    const ComScope com;
    if (!com.usable()) {
        return std::nullopt;
    }
    ComRef<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.out())))) {
        return std::nullopt;
    }
    ComRef<IWbemServices> services;
    if (FAILED(locator->ConnectServer(Bstr(u"ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr,
                                      nullptr, services.out()))) {
        return std::nullopt;
    }
    CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    const auto adapter = firstObject(
        services.get(), u"SELECT * FROM Win32_NetworkAdapter WHERE " + std::u16string(condition));
    if (!adapter) {
        return std::nullopt;
    }
    WmiConnectionFacts facts;
    facts.status = smallNumber(numberProperty(adapter.get(), L"NetConnectionStatus"));
    facts.speed = numberProperty(adapter.get(), L"Speed");
    if (const auto index = numberProperty(adapter.get(), L"Index")) {
        const std::string query =
            "SELECT * FROM Win32_NetworkAdapterConfiguration WHERE Index=" + std::to_string(*index);
        if (const auto configuration = firstObject(services.get(), text::gbkToUtf16(query))) {
            facts.mtu = smallNumber(numberProperty(configuration.get(), L"MTU"));
            facts.dhcpEnabled = booleanProperty(configuration.get(), L"DHCPEnabled");
        }
    }
    return facts;
}

}  // namespace nicops::platform::windows
