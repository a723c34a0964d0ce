#include "ui/qt/qt_tcpip_dialog.h"

#include "ui/tcpip_properties_presenter.h"

namespace nicops::ui::qt {

QtTcpipDialog::QtTcpipDialog(DialogHost& host, QWidget* parent)
    : QtForm(kTcpipDialog, kTcpipDialogControls, parent) {
    onClicked(tcpip_names::kAutomaticRadio, [this] { presenter_->automaticChosen(); });
    onClicked(tcpip_names::kStaticRadio, [this] { presenter_->staticChosen(); });
    onClicked(tcpip_names::kOkButton, [this] { presenter_->apply(); });
    presenter_ = std::make_unique<TcpipPropertiesPresenter>(host, *this);
}

QtTcpipDialog::~QtTcpipDialog() = default;

}  // namespace nicops::ui::qt
