// The add dialog in Qt: modal, owned by the main window, built from kAddDialog and
// kAddDialogControls (the controls' object names are the table's names). Its presenter decides
// everything; the dialog forwards the buttons and draws what it is told.
#pragma once

#include <QDialog>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/add_range_view.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
class AddRangePresenter;
class MainPresenter;
}  // namespace nicops::ui

namespace nicops::ui::qt {

class QtAddRangeDialog final : public QDialog, public AddRangeView {
public:
    // Builds the controls, then the presenter, which proposes the mask.
    QtAddRangeDialog(MainPresenter& main, QWidget* parent);
    ~QtAddRangeDialog() override;

    AddRangePresenter& presenter() { return *presenter_; }

    // AddRangeView
    void setControlText(std::string_view name, const std::string& text) override;
    void setControlVisible(std::string_view name, bool visible) override;
    void setControlEnabled(std::string_view name, bool enabled) override;
    void setControlChecked(std::string_view name, bool checked) override;
    std::string controlText(std::string_view name) const override;
    bool controlChecked(std::string_view name) const override;
    void closeDialog() override;

private:
    struct Control {
        ControlKind kind;
        QWidget* widget;
    };

    QWidget* buildControl(const ControlSpec& entry);
    const Control* control(std::string_view name) const;

    std::map<std::string, Control, std::less<>> controls_;
    std::unique_ptr<AddRangePresenter> presenter_;
};

}  // namespace nicops::ui::qt
