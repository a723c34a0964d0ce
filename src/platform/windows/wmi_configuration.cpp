#include "platform/windows/wmi_configuration.h"

#include <optional>

#include "platform/address_batch.h"
#include "platform/ipv4_text.h"
#include "platform/windows/windows_backend.h"
#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

constexpr char16_t kConfigurationClass[] = u"Win32_NetworkAdapterConfiguration";

WmiArgument texts(std::u16string name, std::vector<std::u16string> values) {
    return {std::move(name), std::move(values), {}, false};
}

WmiArgument numbers(std::u16string name, std::vector<std::uint32_t> values) {
    return {std::move(name), {}, std::move(values), true};
}

std::u16string wide(const std::string& gbk) {
    return text::gbkToUtf16(gbk);
}

std::string shown(std::u16string_view utf16) {
    return text::utf16ToGbk(utf16);
}

// A SAFEARRAY vector of `type` holding `count` elements that `put` stores one by one.
template <typename Put>
HRESULT arrayVariant(VARTYPE type, std::size_t count, VARIANT& out, Put put) {
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, static_cast<ULONG>(count));
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        if (const HRESULT result = put(array, i); FAILED(result)) {
            SafeArrayDestroy(array);
            return result;
        }
    }
    out.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    out.parray = array;
    return S_OK;
}

template <typename Element>
HRESULT numberArray(const std::vector<std::uint32_t>& values, VARTYPE type, std::uint32_t limit,
                    VARIANT& out) {
    for (std::uint32_t value : values) {
        if (value > limit) {
            return WBEM_E_TYPE_MISMATCH;
        }
    }
    return arrayVariant(type, values.size(), out, [&](SAFEARRAY* array, LONG i) {
        Element element = static_cast<Element>(values[static_cast<std::size_t>(i)]);
        return SafeArrayPutElement(array, &i, &element);
    });
}

// Each element of the array property `name` (its VARIANT type and the array), when the property
// is an array `accepts` takes; nothing when it is null or of another type.
template <class Accepts, class Each>
void eachArrayElement(IWbemClassObject* object, const wchar_t* name, Accepts accepts, Each each) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr))) {
        return;
    }
    if ((value.vt & VT_ARRAY) != 0 && value.parray != nullptr && accepts(value.vt)) {
        LONG low = 0;
        LONG high = -1;
        SafeArrayGetLBound(value.parray, 1, &low);
        SafeArrayGetUBound(value.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            each(value.vt, value.parray, i);
        }
    }
    VariantClear(&value);
}

// A string-array property; empty when it is null or of another type.
std::vector<std::u16string> textsProperty(IWbemClassObject* object, const wchar_t* name) {
    std::vector<std::u16string> values;
    eachArrayElement(
        object, name, [](VARTYPE type) { return type == (VT_ARRAY | VT_BSTR); },
        [&](VARTYPE, SAFEARRAY* array, LONG i) {
            BSTR element = nullptr;
            if (SUCCEEDED(SafeArrayGetElement(array, &i, &element))) {
                values.emplace_back(
                    element == nullptr ? u"" : reinterpret_cast<const char16_t*>(element),
                    SysStringLen(element));
                SysFreeString(element);
            }
        });
    return values;
}

// An integer-array property; empty when it is null or of another type.
std::vector<std::uint32_t> numbersProperty(IWbemClassObject* object, const wchar_t* name) {
    std::vector<std::uint32_t> values;
    eachArrayElement(
        object, name, [](VARTYPE) { return true; },
        [&](VARTYPE type, SAFEARRAY* array, LONG i) {
            VARIANT element;
            VariantInit(&element);
            element.vt = static_cast<VARTYPE>(type & ~VT_ARRAY);
            if (SUCCEEDED(SafeArrayGetElement(array, &i, &element.bVal)) &&
                VariantChangeType(&element, &element, 0, VT_UI4) == S_OK) {
                values.push_back(element.ulVal);
            }
            VariantClear(&element);
        });
    return values;
}

struct CallOutcome {
    std::string failure;   // "" on success
    bool reached = false;  // ExecMethod was called: the adapter may have changed
};

// One method of the adapter configuration at `path`.
CallOutcome callMethod(const WmiSession& session, const std::u16string& path,
                       const WmiMethodCall& call) {
    CallOutcome outcome;
    const std::string method = shown(call.method);
    const std::string at = " (" + shown(path);
    const auto failed = [&](HRESULT result) {
        outcome.failure = method + " 调用失败" + at + ", " + hresultText(result) + ").";
        return outcome;
    };
    ComRef<IWbemClassObject> definitionOfClass;
    HRESULT result = session.services()->GetObject(Bstr(kConfigurationClass), 0, nullptr,
                                                   definitionOfClass.out(), nullptr);
    if (FAILED(result)) {
        return failed(result);
    }
    ComRef<IWbemClassObject> definition;
    result = definitionOfClass->GetMethod(reinterpret_cast<const wchar_t*>(call.method.c_str()), 0,
                                          definition.out(), nullptr);
    if (FAILED(result)) {
        return failed(result);
    }
    ComRef<IWbemClassObject> in;
    if (definition) {
        std::u16string failedArgument;
        result = buildInParameters(definition.get(), call.arguments, in, failedArgument);
        if (FAILED(result)) {
            outcome.failure = method + " 的参数 " + shown(failedArgument) + " 无法设置" + at +
                              ", " + hresultText(result) + ").";
            return outcome;
        }
    } else if (!call.arguments.empty()) {
        return failed(WBEM_E_INVALID_METHOD_PARAMETERS);
    }
    ComRef<IWbemClassObject> out;
    outcome.reached = true;
    result = session.services()->ExecMethod(Bstr(path), Bstr(call.method), 0, nullptr, in.get(),
                                            out.out(), nullptr);
    if (FAILED(result)) {
        return failed(result);
    }
    const auto code = out ? numberProperty(out.get(), L"ReturnValue") : std::nullopt;
    if (!code) {
        outcome.failure = method + " 没有返回结果" + at + ").";
    } else if (*code > 1) {  // 1: done, effective after a restart
        outcome.failure = method + " 失败,返回代码" + std::to_string(*code) + at + ").";
    }
    return outcome;
}

std::optional<PreviousSettings> readSettings(const WmiSession& session,
                                             const std::u16string& path) {
    ComRef<IWbemClassObject> adapter;
    if (FAILED(session.services()->GetObject(Bstr(path), 0, nullptr, adapter.out(), nullptr))) {
        return std::nullopt;
    }
    PreviousSettings previous;
    previous.dhcp = booleanProperty(adapter.get(), L"DHCPEnabled").value_or(false);
    previous.addresses = textsProperty(adapter.get(), L"IPAddress");
    previous.masks = textsProperty(adapter.get(), L"IPSubnet");
    previous.gateways = textsProperty(adapter.get(), L"DefaultIPGateway");
    previous.gatewayMetrics = numbersProperty(adapter.get(), L"GatewayCostMetric");
    previous.dnsServers = textsProperty(adapter.get(), L"DNSServerSearchOrder");
    return previous;
}

// The first value of the static values that is not a dotted address (or a contiguous mask of
// at least one bit), as the line that names it; "" when all are.
std::string invalidValue(const StaticAddressing& values) {
    const auto invalid = [](const std::string& typed, const char* what) {
        return "“" + typed + "”不是有效的" + what + ".";
    };
    if (!parseIpv4(values.address)) {
        return invalid(values.address, "IP地址");
    }
    const auto mask = parseIpv4(values.mask);
    const auto prefix = mask ? prefixOfMask(*mask) : std::nullopt;
    if (!prefix || *prefix == 0) {
        return invalid(values.mask, "子网掩码");
    }
    if (!values.gateway.empty() && !parseIpv4(values.gateway)) {
        return invalid(values.gateway, "默认网关");
    }
    for (const auto* dns : {&values.primaryDns, &values.secondaryDns}) {
        if (!dns->empty() && !parseIpv4(*dns)) {
            return invalid(*dns, "DNS服务器地址");
        }
    }
    return {};
}

}  // namespace

std::vector<WmiMethodCall> staticAddressingCalls(const StaticAddressing& values) {
    std::vector<WmiMethodCall> calls;
    calls.push_back(
        {u"EnableStatic",
         {texts(u"IPAddress", {wide(values.address)}), texts(u"SubnetMask", {wide(values.mask)})}});
    const bool gateway = !values.gateway.empty();
    calls.push_back(
        {u"SetGateways",
         {texts(u"DefaultIPGateway", gateway ? std::vector<std::u16string>{wide(values.gateway)}
                                             : std::vector<std::u16string>{}),
          numbers(u"GatewayCostMetric",
                  gateway ? std::vector<std::uint32_t>{1} : std::vector<std::uint32_t>{})}});
    std::vector<std::u16string> servers;
    for (const auto* dns : {&values.primaryDns, &values.secondaryDns}) {
        if (!dns->empty()) {
            servers.push_back(wide(*dns));
        }
    }
    WmiMethodCall dns{u"SetDNSServerSearchOrder", {}};
    if (!servers.empty()) {
        dns.arguments.push_back(texts(u"DNSServerSearchOrder", std::move(servers)));
    }
    calls.push_back(std::move(dns));
    return calls;
}

std::vector<WmiMethodCall> restoringCalls(const PreviousSettings& previous) {
    if (previous.dhcp) {
        return {{u"EnableDHCP", {}}, {u"SetDNSServerSearchOrder", {}}};
    }
    std::vector<std::u16string> addresses;
    std::vector<std::u16string> masks;
    for (std::size_t i = 0; i < previous.addresses.size() && i < previous.masks.size(); ++i) {
        if (previous.addresses[i].find(u'.') != std::u16string::npos) {
            addresses.push_back(previous.addresses[i]);
            masks.push_back(previous.masks[i]);
        }
    }
    std::vector<std::u16string> gateways;
    std::vector<std::uint32_t> metrics;
    for (std::size_t i = 0; i < previous.gateways.size(); ++i) {
        if (previous.gateways[i].find(u'.') != std::u16string::npos) {
            gateways.push_back(previous.gateways[i]);
            metrics.push_back(i < previous.gatewayMetrics.size() ? previous.gatewayMetrics[i] : 1);
        }
    }
    std::vector<WmiMethodCall> calls;
    calls.push_back(
        {u"EnableStatic", {texts(u"IPAddress", addresses), texts(u"SubnetMask", masks)}});
    calls.push_back(
        {u"SetGateways",
         {texts(u"DefaultIPGateway", gateways), numbers(u"GatewayCostMetric", metrics)}});
    WmiMethodCall dns{u"SetDNSServerSearchOrder", {}};
    if (!previous.dnsServers.empty()) {
        dns.arguments.push_back(texts(u"DNSServerSearchOrder", previous.dnsServers));
    }
    calls.push_back(std::move(dns));
    return calls;
}

HRESULT argumentVariant(const WmiArgument& argument, CIMTYPE cimType, VARIANT& out) {
    VariantInit(&out);
    const bool array = (cimType & CIM_FLAG_ARRAY) != 0;
    const CIMTYPE base = cimType & ~CIM_FLAG_ARRAY;
    if ((base == CIM_STRING) == argument.isNumbers) {
        return WBEM_E_TYPE_MISMATCH;
    }
    if (!array) {
        // One string only: numbers go in arrays here.
        if (base != CIM_STRING || argument.texts.size() != 1) {
            return WBEM_E_TYPE_MISMATCH;
        }
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(argument.texts[0].data()),
                                        static_cast<UINT>(argument.texts[0].size()));
        return out.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    switch (base) {
        case CIM_STRING:
            return arrayVariant(VT_BSTR, argument.texts.size(), out, [&](SAFEARRAY* a, LONG i) {
                const Bstr element(argument.texts[static_cast<std::size_t>(i)]);
                return SafeArrayPutElement(a, &i, static_cast<BSTR>(element));
            });
        case CIM_UINT8:
            return numberArray<BYTE>(argument.numbers, VT_UI1, 0xFF, out);
        case CIM_SINT8:
            return numberArray<SHORT>(argument.numbers, VT_I2, 0x7F, out);
        case CIM_SINT16:
            return numberArray<SHORT>(argument.numbers, VT_I2, 0x7FFF, out);
        case CIM_UINT16:
            return numberArray<LONG>(argument.numbers, VT_I4, 0xFFFF, out);
        case CIM_SINT32:
            return numberArray<LONG>(argument.numbers, VT_I4, 0x7FFFFFFF, out);
        case CIM_UINT32:
            return numberArray<LONG>(argument.numbers, VT_I4, 0xFFFFFFFF, out);
        default:
            return WBEM_E_TYPE_MISMATCH;
    }
}

HRESULT buildInParameters(IWbemClassObject* definition, const std::vector<WmiArgument>& arguments,
                          ComRef<IWbemClassObject>& instance, std::u16string& failedArgument) {
    failedArgument.clear();
    ComRef<IWbemClassObject> spawned;
    if (const HRESULT result = definition->SpawnInstance(0, spawned.out()); FAILED(result)) {
        return result;
    }
    for (const WmiArgument& argument : arguments) {
        failedArgument = argument.name;
        const auto* name = reinterpret_cast<const wchar_t*>(argument.name.c_str());
        CIMTYPE type = CIM_EMPTY;
        HRESULT result = definition->Get(name, 0, nullptr, &type, nullptr);
        if (FAILED(result)) {
            return result;
        }
        VARIANT value;
        result = argumentVariant(argument, type, value);
        if (SUCCEEDED(result)) {
            result = spawned->Put(name, 0, &value, 0);
            VariantClear(&value);
        }
        if (FAILED(result)) {
            return result;
        }
    }
    failedArgument.clear();
    instance = std::move(spawned);
    return S_OK;
}

bool WmiAdapterConfiguration::isDhcpEnabled(const std::string& connectionName) {
    bool dhcp = false;
    for (const ConnectionEntry& entry : listConnections()) {
        if (!connectionName.empty() && entry.friendlyName == connectionName) {
            dhcp = entry.dhcpEnabled;
        }
    }
    return dhcp;
}

std::u16string WmiAdapterConfiguration::adapterPath(const WmiSession& session,
                                                    const std::string& connectionName) {
    const auto lookup = connectionName.empty()
                            ? WmiAdapterLookup{}
                            : findAdapterIndex(session, condition_(connectionName));
    if (FAILED(lookup.failure)) {
        problem_ = "在 WMI 中查找连接名为“" + connectionName +
                   "”的网络适配器失败: " + hresultText(lookup.failure) + ".";
        return {};
    }
    if (!lookup.index) {
        problem_ = "没有连接名为“" + connectionName + "”的网络适配器.";
        return {};
    }
    if (problem_ = administratorRightsProblem(rights_); !problem_.empty()) {
        return {};
    }
    return std::u16string(kConfigurationClass) + u".Index=" + wide(std::to_string(*lookup.index));
}

bool WmiAdapterConfiguration::onAdapter(
    const std::string& connectionName,
    const std::function<bool(const WmiSession&, const std::u16string&)>& work) {
    const ComScope com;
    HRESULT failure = com.result();
    const auto session = com.usable() ? WmiSession::open(failure) : std::nullopt;
    if (!session) {
        problem_ = "无法连接 WMI (root\\cimv2): " + hresultText(failure) + ".";
        return false;
    }
    const std::u16string path = adapterPath(*session, connectionName);
    return !path.empty() && work(*session, path);
}

bool WmiAdapterConfiguration::enableDhcp(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    problem_.clear();
    return onAdapter(connectionName, [&](const WmiSession& session, const std::u16string& path) {
        problem_ = callMethod(session, path, {u"EnableDHCP", {}}).failure;
        return problem_.empty();
    });
}

bool WmiAdapterConfiguration::setStaticAddressing(const std::string& connectionName,
                                                  const StaticAddressing& values) {
    std::lock_guard lock(mutex_);
    if (problem_ = invalidValue(values); !problem_.empty()) {
        return false;
    }
    return onAdapter(connectionName, [&](const WmiSession& session, const std::u16string& path) {
        const auto previous = readSettings(session, path);
        if (!previous) {
            problem_ = "无法读取 " + shown(path) + " 的设置.";
            return false;
        }
        bool reached = false;
        for (const WmiMethodCall& call : staticAddressingCalls(values)) {
            const CallOutcome outcome = callMethod(session, path, call);
            reached = reached || outcome.reached;
            if (outcome.failure.empty()) {
                continue;
            }
            problem_ = outcome.failure;
            if (!reached) {
                return false;  // nothing reached the adapter
            }
            std::string undoFailure;
            for (const WmiMethodCall& undo : restoringCalls(*previous)) {
                if (const auto undone = callMethod(session, path, undo);
                    !undone.failure.empty() && undoFailure.empty()) {
                    undoFailure = undone.failure;
                }
            }
            problem_ += " " + (undoFailure.empty() ? std::string("已恢复原来的设置.")
                                                   : "恢复原来的设置失败: " + undoFailure);
            return false;
        }
        return true;
    });
}

std::string WmiAdapterConfiguration::lastProblem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

std::unique_ptr<AdapterConfiguration> openWmiAdapterConfiguration() {
    return std::make_unique<WmiAdapterConfiguration>();
}

}  // namespace nicops::platform::windows
