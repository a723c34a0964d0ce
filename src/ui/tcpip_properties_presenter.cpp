#include "ui/tcpip_properties_presenter.h"

#include <array>
#include <string_view>

#include "ipops/ipv4_box.h"
#include "ipops/tcpip_properties.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

constexpr std::array<std::string_view, 8> kStaticFields = {
    tcpip_names::kAddressBox,    tcpip_names::kAddressLabel,    tcpip_names::kMaskBox,
    tcpip_names::kMaskLabel,     tcpip_names::kGatewayBox,      tcpip_names::kGatewayLabel,
    tcpip_names::kPrimaryDnsBox, tcpip_names::kSecondaryDnsBox,
};

}  // namespace

TcpipPropertiesPresenter::TcpipPropertiesPresenter(DialogHost& host, FormView& view)
    : host_(host),
      context_(host.context()),
      view_(view),
      connectionName_(host.currentConnectionName()) {
    load();
}

void TcpipPropertiesPresenter::load() {
    const ipops::TcpipProperties properties = ipops::loadTcpipProperties(
        context_.services(), *context_.configuration, host_.currentAdapterIndex(), connectionName_);
    view_.setControlText(tcpip_names::kPrimaryDnsBox, properties.primaryDns);
    view_.setControlText(tcpip_names::kSecondaryDnsBox, properties.secondaryDns);
    view_.setControlText(tcpip_names::kAddressBox, properties.address);
    view_.setControlText(tcpip_names::kMaskBox, properties.mask);
    view_.setControlChecked(tcpip_names::kAutomaticRadio, properties.dhcp);
    view_.setControlChecked(tcpip_names::kStaticRadio, !properties.dhcp);
    view_.setControlText(tcpip_names::kGatewayBox, properties.gateway);
    enableStaticFields(!properties.dhcp);
}

void TcpipPropertiesPresenter::enableStaticFields(bool enabled) {
    for (std::string_view name : kStaticFields) {
        view_.setControlEnabled(name, enabled);
    }
}

void TcpipPropertiesPresenter::automaticChosen() {
    enableStaticFields(false);
}

void TcpipPropertiesPresenter::staticChosen() {
    enableStaticFields(true);
}

void TcpipPropertiesPresenter::apply() {
    view_.setControlEnabled(tcpip_names::kOkButton, false);
    if (view_.controlChecked(tcpip_names::kAutomaticRadio)) {
        ipops::switchToDhcp(*context_.configuration, host_, connectionName_);
    } else if (view_.controlChecked(tcpip_names::kStaticRadio)) {
        const auto box = [this](std::string_view name) {
            return ipops::ipv4BoxText(view_.controlText(name));
        };
        const platform::StaticAddressing values{
            box(tcpip_names::kAddressBox), box(tcpip_names::kMaskBox),
            box(tcpip_names::kGatewayBox), box(tcpip_names::kPrimaryDnsBox),
            box(tcpip_names::kSecondaryDnsBox)};
        std::string problem;  // the dialog reports nothing of a static change
        ipops::switchToStatic(*context_.configuration, host_, connectionName_, values, problem);
    }
    view_.setControlEnabled(tcpip_names::kOkButton, true);
    view_.closeDialog();
}

}  // namespace nicops::ui
