// The WMI adapter configuration under Wine: the typed in-parameters, the calls a static change
// makes, and the whole configuration inside tests/windows/netns-lab. Wine's WMI has neither
// NetConnectionID nor the configuration's methods, so every change there ends before it
// reaches the adapter; the tests check which step ended it and why.
#include "platform/windows/wmi_configuration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/windows_backend.h"
#include "text/codepage.h"

namespace nicops::platform::windows {
namespace {

using Texts = std::vector<std::u16string>;

// The elements of a one-dimensional SAFEARRAY variant, each converted to a BSTR's text.
Texts elementsOf(const VARIANT& value) {
    Texts out;
    LONG low = 0;
    LONG high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    EXPECT_EQ(low, 0);
    for (LONG i = low; i <= high; ++i) {
        VARIANT element;
        VariantInit(&element);
        element.vt = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
        EXPECT_EQ(SafeArrayGetElement(value.parray, &i, &element.bVal), S_OK);
        EXPECT_EQ(VariantChangeType(&element, &element, 0, VT_BSTR), S_OK);
        out.emplace_back(reinterpret_cast<const char16_t*>(element.bstrVal),
                         SysStringLen(element.bstrVal));
        VariantClear(&element);
    }
    return out;
}

// The variant type and elements that argumentVariant makes for the CIM type.
std::pair<VARTYPE, Texts> variantOf(const WmiArgument& argument, CIMTYPE type) {
    VARIANT value;
    const HRESULT result = argumentVariant(argument, type, value);
    if (FAILED(result)) {
        return {VT_ERROR, {}};
    }
    std::pair<VARTYPE, Texts> out{value.vt, {}};
    if ((value.vt & VT_ARRAY) != 0) {
        out.second = elementsOf(value);
    } else if (value.vt == VT_BSTR) {
        out.second.emplace_back(reinterpret_cast<const char16_t*>(value.bstrVal));
    }
    VariantClear(&value);
    return out;
}

TEST(WmiArguments, EachTakesTheAutomationTypeOfItsCimType) {
    const WmiArgument texts{u"IPAddress", {u"10.0.0.8", u"网卡"}, {}, false};
    const WmiArgument cost{u"GatewayCostMetric", {}, {1, 65535}, true};
    EXPECT_EQ(variantOf(texts, CIM_STRING | CIM_FLAG_ARRAY),
              std::make_pair(VARTYPE(VT_ARRAY | VT_BSTR), Texts{u"10.0.0.8", u"网卡"}));
    EXPECT_EQ(variantOf(cost, CIM_UINT16 | CIM_FLAG_ARRAY),
              std::make_pair(VARTYPE(VT_ARRAY | VT_I4), Texts{u"1", u"65535"}));
    EXPECT_EQ(variantOf({u"b", {}, {0, 255}, true}, CIM_UINT8 | CIM_FLAG_ARRAY),
              std::make_pair(VARTYPE(VT_ARRAY | VT_UI1), Texts{u"0", u"255"}));
    EXPECT_EQ(variantOf({u"s", {}, {7}, true}, CIM_SINT16 | CIM_FLAG_ARRAY),
              std::make_pair(VARTYPE(VT_ARRAY | VT_I2), Texts{u"7"}));
    // An empty list is an empty array, not null.
    EXPECT_EQ(variantOf({u"e", {}, {}, false}, CIM_STRING | CIM_FLAG_ARRAY),
              std::make_pair(VARTYPE(VT_ARRAY | VT_BSTR), Texts{}));
    EXPECT_EQ(variantOf({u"one", {u"x"}, {}, false}, CIM_STRING),
              std::make_pair(VARTYPE(VT_BSTR), Texts{u"x"}));

    // Numbers that do not fit, and either kind where the other is wanted.
    EXPECT_EQ(variantOf(cost, CIM_UINT8 | CIM_FLAG_ARRAY).first, VT_ERROR);
    EXPECT_EQ(variantOf(cost, CIM_STRING | CIM_FLAG_ARRAY).first, VT_ERROR);
    EXPECT_EQ(variantOf(texts, CIM_UINT16 | CIM_FLAG_ARRAY).first, VT_ERROR);
    EXPECT_EQ(variantOf(texts, CIM_STRING).first, VT_ERROR);  // two texts for one string
}

TEST(WmiArguments, AStaticChangeIsThreeCallsAndItsUndoLeavesIpv6Out) {
    const auto names = [](const std::vector<WmiMethodCall>& calls) {
        std::vector<std::u16string> out;
        for (const auto& call : calls) {
            std::u16string line = call.method;
            for (const auto& argument : call.arguments) {
                line += u" " + argument.name + u"=";
                for (const auto& t : argument.texts) {
                    line += t + u",";
                }
                for (auto n : argument.numbers) {
                    line += text::gbkToUtf16(std::to_string(n)) + u",";
                }
            }
            out.push_back(line);
        }
        return out;
    };
    EXPECT_EQ(names(staticAddressingCalls(
                  {"10.0.0.8", "255.255.0.0", "10.0.0.1", "10.0.0.53", "10.0.0.54"})),
              (Texts{u"EnableStatic IPAddress=10.0.0.8, SubnetMask=255.255.0.0,",
                     u"SetGateways DefaultIPGateway=10.0.0.1, GatewayCostMetric=1,",
                     u"SetDNSServerSearchOrder DNSServerSearchOrder=10.0.0.53,10.0.0.54,"}));
    // No gateway clears the gateways; no DNS server leaves the list null.
    EXPECT_EQ(names(staticAddressingCalls({"10.0.0.8", "255.255.0.0", "", "", "10.0.0.54"})),
              (Texts{u"EnableStatic IPAddress=10.0.0.8, SubnetMask=255.255.0.0,",
                     u"SetGateways DefaultIPGateway= GatewayCostMetric=",
                     u"SetDNSServerSearchOrder DNSServerSearchOrder=10.0.0.54,"}));
    EXPECT_TRUE(staticAddressingCalls({"10.0.0.8", "255.0.0.0", "", "", ""})[2].arguments.empty());

    PreviousSettings previous;
    previous.addresses = {u"10.0.0.5", u"fe80::1", u"10.0.0.6"};
    previous.masks = {u"255.255.255.0", u"64", u"255.255.0.0"};
    previous.gateways = {u"10.0.0.1", u"fe80::2", u"10.0.0.2"};
    previous.gatewayMetrics = {5};
    EXPECT_EQ(names(restoringCalls(previous)),
              (Texts{u"EnableStatic IPAddress=10.0.0.5,10.0.0.6, "
                     u"SubnetMask=255.255.255.0,255.255.0.0,",
                     u"SetGateways DefaultIPGateway=10.0.0.1,10.0.0.2, GatewayCostMetric=5,1,",
                     u"SetDNSServerSearchOrder"}));
    previous.dhcp = true;
    EXPECT_EQ(names(restoringCalls(previous)), (Texts{u"EnableDHCP", u"SetDNSServerSearchOrder"}));
}

// A method definition Wine's WMI has: Win32_Process.Create takes CommandLine, a string.
TEST(WmiArguments, InParametersAreSpawnedFromTheDefinitionAndReadBack) {
    const ComScope com;
    HRESULT failure = S_OK;
    const auto session = WmiSession::open(failure);
    ASSERT_TRUE(session.has_value()) << hresultText(failure);
    ComRef<IWbemClassObject> process;
    ASSERT_EQ(
        session->services()->GetObject(Bstr(u"Win32_Process"), 0, nullptr, process.out(), nullptr),
        S_OK);
    ComRef<IWbemClassObject> definition;
    ASSERT_EQ(process->GetMethod(L"Create", 0, definition.out(), nullptr), S_OK);

    ComRef<IWbemClassObject> in;
    std::u16string failed;
    ASSERT_EQ(buildInParameters(definition.get(), {{u"CommandLine", {u"a 'b' 网"}, {}, false}}, in,
                                failed),
              S_OK);
    VARIANT value;
    VariantInit(&value);
    CIMTYPE type = CIM_EMPTY;
    ASSERT_EQ(in->Get(L"CommandLine", 0, &value, &type, nullptr), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(type, CIM_STRING);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value.bstrVal)), u"a 'b' 网");
    VariantClear(&value);

    // A parameter the method does not have, and numbers for a string: no instance, the
    // argument named.
    ComRef<IWbemClassObject> none;
    EXPECT_TRUE(FAILED(buildInParameters(
        definition.get(), {{u"CommandLine", {u"x"}, {}, false}, {u"IPAddress", {u"x"}, {}, false}},
        none, failed)));
    EXPECT_EQ(failed, u"IPAddress");
    EXPECT_EQ(buildInParameters(definition.get(), {{u"CommandLine", {}, {1}, true}}, none, failed),
              WBEM_E_TYPE_MISMATCH);
    EXPECT_EQ(failed, u"CommandLine");
    EXPECT_FALSE(none);
}

bool noRights() {
    return false;
}

// The adapter by its Name, a column Wine's WMI has (its NetConnectionID is missing).
std::u16string byName(const std::string& name) {
    return u"Name=" + wqlStringLiteral(text::gbkToUtf16(name));
}

TEST(WmiConfiguration, DhcpFlagOfTheLastAdapterWithTheFriendlyName) {
    WmiAdapterConfiguration configuration;
    int named = 0;
    for (const ConnectionEntry& entry : listConnections()) {
        if (entry.friendlyName.empty()) {
            continue;
        }
        ++named;
        bool last = false;
        for (const ConnectionEntry& other : listConnections()) {
            if (other.friendlyName == entry.friendlyName) {
                last = other.dhcpEnabled;
            }
        }
        EXPECT_EQ(configuration.isDhcpEnabled(entry.friendlyName), last) << entry.friendlyName;
    }
    EXPECT_GT(named, 0);
    EXPECT_FALSE(configuration.isDhcpEnabled("no such connection"));
    EXPECT_FALSE(configuration.isDhcpEnabled(""));
}

TEST(WmiConfiguration, InvalidStaticValuesAreRefusedFirst) {
    WmiAdapterConfiguration configuration(byName, noRights);
    EXPECT_FALSE(configuration.setStaticAddressing("x", {"10.0.0.8", "255.0.255.0", "", "", ""}));
    EXPECT_EQ(configuration.lastProblem(), "“255.0.255.0”不是有效的子网掩码.");
    EXPECT_FALSE(
        configuration.setStaticAddressing("x", {"10.0.0.8", "255.0.0.0", "10.0.0", "", ""}));
    EXPECT_EQ(configuration.lastProblem(), "“10.0.0”不是有效的默认网关.");
}

// The lab's link and its interface index (Wine's WMI numbers its adapters by that index).
std::optional<std::uint32_t> labIndex() {
    const char* name = std::getenv("NICOPS_LAB_LINK");
    if (name == nullptr) {
        return std::nullopt;
    }
    for (const InterfaceName& entry : WindowsBackend().getInterfaceNames()) {
        if (entry.friendlyName == name) {
            return entry.index;
        }
    }
    return std::nullopt;
}

std::vector<std::string> addressesOfLink(std::uint32_t index) {
    std::vector<std::string> out;
    for (const AdapterInfo& adapter : WindowsBackend().getAdaptersInfo()) {
        if (adapter.index == index) {
            for (const IpAddrString& entry : adapter.ipAddresses) {
                out.push_back(entry.address + "/" + entry.mask);
            }
        }
    }
    return out;
}

TEST(WmiConfigurationLab, TheConnectionNameGivesTheAdapterEveryMethodIsCalledOn) {
    const auto index = labIndex();
    if (!index) {
        GTEST_SKIP() << "runs inside tests/windows/netns-lab (ctest: windows_backend_netns)";
    }
    const std::string lab = std::getenv("NICOPS_LAB_LINK");
    const std::string path = "Win32_NetworkAdapterConfiguration.Index=" + std::to_string(*index);
    const auto before = addressesOfLink(*index);
    ASSERT_FALSE(before.empty());

    // Wine has no methods: GetMethod answers WBEM_E_NOT_FOUND for the adapter's path, and a
    // static change stops at its first call, before anything reached the adapter.
    WmiAdapterConfiguration configuration(byName);
    EXPECT_FALSE(configuration.enableDhcp(lab));
    EXPECT_EQ(configuration.lastProblem(), "EnableDHCP 调用失败 (" + path + ", 0x80041002).");
    EXPECT_FALSE(configuration.setStaticAddressing(
        lab, {"10.77.0.8", "255.255.255.0", "10.77.0.1", "10.77.0.1", ""}));
    EXPECT_EQ(configuration.lastProblem(), "EnableStatic 调用失败 (" + path + ", 0x80041002).");
    EXPECT_EQ(addressesOfLink(*index), before);

    // A name with no adapter reaches no method. A quote in it can't select another adapter:
    // Wine's WQL parser refuses the escaped quote (WBEM_E_INVALID_QUERY) where Windows
    // selects nothing, and either way no method is called.
    const std::string quoted = "no such adapter' OR Name<>'";
    for (const auto& [name, refused] : std::vector<std::pair<std::string, std::string>>{
             {"no such adapter", "没有连接名为“no such adapter”的网络适配器."},
             {"", "没有连接名为“”的网络适配器."},
             {quoted, "在 WMI 中查找连接名为“" + quoted + "”的网络适配器失败: 0x80041017."}}) {
        EXPECT_FALSE(configuration.enableDhcp(name));
        EXPECT_EQ(configuration.lastProblem(), refused);
        EXPECT_FALSE(
            configuration.setStaticAddressing(name, {"10.77.0.8", "255.255.255.0", "", "", ""}));
        EXPECT_EQ(configuration.lastProblem(), refused);
    }

    // Without the rights nothing is called.
    WmiAdapterConfiguration denied(byName, noRights);
    EXPECT_FALSE(denied.enableDhcp(lab));
    EXPECT_EQ(denied.lastProblem(), "更改IP地址需要管理员权限.");
    EXPECT_FALSE(denied.setStaticAddressing(lab, {"10.77.0.8", "255.255.255.0", "", "", ""}));
    EXPECT_EQ(denied.lastProblem(), "更改IP地址需要管理员权限.");

    // By connection name, as the programs look it up: Wine's WMI refuses the query.
    WmiAdapterConfiguration programs;
    EXPECT_FALSE(programs.enableDhcp(lab));
    EXPECT_EQ(programs.lastProblem(),
              "在 WMI 中查找连接名为“" + lab + "”的网络适配器失败: 0x80041001.");
    EXPECT_EQ(addressesOfLink(*index), before);
}

}  // namespace
}  // namespace nicops::platform::windows
