// The TCP/IPv4 properties dialog in Qt: modal, owned by the main window, a QtForm of
// kTcpipDialog and kTcpipDialogControls. Its presenter decides everything; the dialog forwards
// the radio buttons and "确定".
#pragma once

#include <memory>

#include "ui/dialog_host.h"
#include "ui/qt/qt_form.h"

namespace nicops::ui {
class TcpipPropertiesPresenter;
}

namespace nicops::ui::qt {

class QtTcpipDialog final : public QtForm {
public:
    // Builds the controls, then the presenter, which loads the adapter's properties.
    QtTcpipDialog(DialogHost& host, QWidget* parent);
    ~QtTcpipDialog() override;

    TcpipPropertiesPresenter& presenter() { return *presenter_; }

private:
    std::unique_ptr<TcpipPropertiesPresenter> presenter_;
};

}  // namespace nicops::ui::qt
