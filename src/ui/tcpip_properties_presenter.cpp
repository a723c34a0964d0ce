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
      connectionName_(host.currentConnectionName()),
      adapterIndex_(host.currentAdapterIndex()) {
    load();
}

void TcpipPropertiesPresenter::load() {
    const ipops::TcpipProperties properties = ipops::loadTcpipProperties(
        context_.services(), *context_.configuration, adapterIndex_, connectionName_);
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

platform::StaticAddressing TcpipPropertiesPresenter::staticValues() const {
    const auto box = [this](std::string_view name) {
        return ipops::ipv4BoxText(view_.controlText(name));
    };
    return {box(tcpip_names::kAddressBox), box(tcpip_names::kMaskBox),
            box(tcpip_names::kGatewayBox), box(tcpip_names::kPrimaryDnsBox),
            box(tcpip_names::kSecondaryDnsBox)};
}

void TcpipPropertiesPresenter::apply() {
    view_.setControlEnabled(tcpip_names::kOkButton, false);
    const bool automatic = view_.controlChecked(tcpip_names::kAutomaticRadio);
    const bool manual = !automatic && view_.controlChecked(tcpip_names::kStaticRadio);
    if (ipops::PrivilegedChanges* privileged = context_.privileged;
        privileged != nullptr && (automatic || manual)) {
        // The switch waits for the user's authorisation: on a worker, the window busy meanwhile.
        host_.setBusy(true);
        host_.startWorker([privileged, &host = host_, automatic, index = adapterIndex_,
                           name = connectionName_, values = staticValues()] {
            if (automatic) {
                privileged->switchToDhcp(host, index, name);
            } else {
                privileged->switchToStatic(host, index, name, values);
            }
            host.setBusy(false);
        });
    } else if (automatic) {
        ipops::switchToDhcp(*context_.configuration, host_, connectionName_);
    } else if (manual) {
        std::string problem;  // the dialog reports nothing of a static change
        ipops::switchToStatic(*context_.configuration, host_, connectionName_, staticValues(),
                              problem);
    }
    view_.setControlEnabled(tcpip_names::kOkButton, true);
    view_.closeDialog();
}

}  // namespace nicops::ui
