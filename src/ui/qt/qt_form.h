// A dialog built from its rows of the layout tables, and the one Qt implementation of
// ui::FormView: every control is made from its table row and kept by its object name (the
// table's name), so the dialogs share one way of being told what to show. A dialog's class
// derives from it and only connects its buttons to its presenter.
#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "ui/form_view.h"
#include "ui/layout_tables.h"

namespace nicops::ui::qt {

class QtForm : public QDialog, public FormView {
public:
    ~QtForm() override;

    // The control of this name; nullptr for none.
    QWidget* control(std::string_view name) const;

    // FormView
    void setControlText(std::string_view name, const std::string& text) final;
    std::string controlText(std::string_view name) const final;
    void setControlChecked(std::string_view name, bool checked) final;
    bool controlChecked(std::string_view name) const final;
    void setControlEnabled(std::string_view name, bool enabled) final;
    void setControlVisible(std::string_view name, bool visible) final;
    void focusControl(std::string_view name) final;
    void pasteIntoControl(std::string_view name) final;
    void closeDialog() final;

protected:
    // A modal dialog as `window` gives it (the windows' font, title, fixed size, position) with
    // a control for each row of `controls`, where and as the row says: a row naming a group box
    // sits inside it, a hidden row stays hidden, check boxes and radio buttons start as the row
    // checks them. A label's mnemonic goes to the control after it.
    QtForm(const WindowSpec& window, std::span<const ControlSpec> controls, QWidget* parent);

    // `event` runs when the user clicks the button (push button, check box or radio button) of
    // this name.
    void onClicked(std::string_view name, std::function<void()> event);
    // Enter doesn't press a push button, as it does the default one of a dialog otherwise.
    void keepEnterInBoxes();

private:
    struct Control {
        ControlKind kind;  // the main window's kinds are labels here
        QWidget* widget;
    };

    Control buildControl(const ControlSpec& entry, QWidget* parent);
    const Control* find(std::string_view name) const;

    std::map<std::string, Control, std::less<>> controls_;
};

}  // namespace nicops::ui::qt
