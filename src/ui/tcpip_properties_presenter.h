// The TCP/IPv4 properties dialog: it shows the current adapter's mode, last address, gateway
// and DNS servers, greys the static fields out in automatic mode, and on "确定" switches the
// adapter to DHCP or to the static values on the UI thread (the dialog waits for the platform),
// then closes (where the window's changes run privileged elsewhere, the switch runs there on a
// worker, the window busy meanwhile). Closing it any other way applies nothing. The work itself is
// ipops::switchToDhcp / ipops::switchToStatic, the dialog's host their operation host.
#pragma once

#include <cstdint>
#include <string>

#include "platform/adapter_configuration.h"

#include "ui/dialog_host.h"
#include "ui/form_view.h"

namespace nicops::ui {

class TcpipPropertiesPresenter {
public:
    // A new dialog for the host's current adapter, identified towards the platform by its
    // connection name: the boxes, the radio buttons and the static fields' state show
    // ipops::loadTcpipProperties.
    TcpipPropertiesPresenter(DialogHost& host, FormView& view);

    // "自动获得 IP 地址(&O)": the static fields are disabled.
    void automaticChosen();
    // "使用下面的 IP 地址(&S):": the static fields are enabled.
    void staticChosen();
    // "确定": the checked mode is applied to the adapter the dialog was opened for, with the
    // button disabled meanwhile; then the dialog closes.
    void apply();

private:
    void load();
    // The five address boxes and the three address labels; the DNS labels stay enabled.
    void enableStaticFields(bool enabled);
    // The five address boxes as the static switch reads them.
    platform::StaticAddressing staticValues() const;

    DialogHost& host_;
    AppContext& context_;
    FormView& view_;
    std::string connectionName_;
    std::uint32_t adapterIndex_;
};

}  // namespace nicops::ui
