#include "platform/windows/wmi_session.h"

#include <cstdio>

namespace nicops::platform::windows {

std::optional<WmiSession> WmiSession::open(HRESULT& failure) {
    ComRef<IWbemLocator> locator;
    failure = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(locator.out()));
    if (FAILED(failure)) {
        return std::nullopt;
    }
    WmiSession session;
    failure = locator->ConnectServer(Bstr(u"ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr,
                                     nullptr, session.services_.out());
    if (FAILED(failure)) {
        return std::nullopt;
    }
    CoSetProxyBlanket(session.services_.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return session;
}

ComRef<IWbemClassObject> WmiSession::firstObject(std::u16string_view query,
                                                 HRESULT& failure) const {
    ComRef<IEnumWbemClassObject> objects;
    ComRef<IWbemClassObject> first;
    failure = services_->ExecQuery(Bstr(u"WQL"), Bstr(query),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   objects.out());
    if (FAILED(failure)) {
        return first;
    }
    ULONG count = 0;
    const HRESULT next = objects->Next(static_cast<long>(WBEM_INFINITE), 1, first.out(), &count);
    if (FAILED(next)) {
        failure = next;
    }
    if (next != WBEM_S_NO_ERROR || count != 1) {
        return {};
    }
    return first;
}

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

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

}  // namespace nicops::platform::windows
