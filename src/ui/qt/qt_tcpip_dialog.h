// The TCP/IPv4 properties dialog in Qt: modal, owned by the main window, built from
// kTcpipDialog and kTcpipDialogControls (the controls' object names are the table's names; a
// control naming a group box sits inside it). Its presenter decides everything; the dialog
// forwards the radio buttons and "确定" and draws what it is told.
#pragma once

#include <QDialog>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/layout_tables.h"
#include "ui/tcpip_properties_view.h"

namespace nicops::ui {
class MainPresenter;
class TcpipPropertiesPresenter;
}  // namespace nicops::ui

namespace nicops::ui::qt {

class QtTcpipDialog final : public QDialog, public TcpipPropertiesView {
public:
    // Builds the controls, then the presenter, which loads the adapter's properties.
    QtTcpipDialog(MainPresenter& main, QWidget* parent);
    ~QtTcpipDialog() override;

    TcpipPropertiesPresenter& presenter() { return *presenter_; }

    // TcpipPropertiesView
    void setControlText(std::string_view name, const std::string& text) override;
    void setControlEnabled(std::string_view name, bool enabled) override;
    void setControlChecked(std::string_view name, bool checked) override;
    std::string controlText(std::string_view name) const override;
    bool controlChecked(std::string_view name) const override;
    void closeDialog() override;

private:
    QWidget* buildControl(const ControlSpec& entry, QWidget* parent);
    QWidget* control(std::string_view name) const;

    std::map<std::string, QWidget*, std::less<>> controls_;
    std::unique_ptr<TcpipPropertiesPresenter> presenter_;
};

}  // namespace nicops::ui::qt
