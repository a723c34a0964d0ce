// What a dialog's presenter asks of its window: the controls of the dialog's layout table, each
// reached by its object name. A toolkit implements this once for every dialog (ui::qt::QtForm);
// a dialog's own class only forwards its events to its presenter. The dialogs are modal and live
// on the UI thread: every call is made there and runs at once. Texts are GBK; multi-line texts
// separate their lines with CR LF in both directions. A name the window has no control of is
// ignored (read: "" and not checked).
#pragma once

#include <string>
#include <string_view>

namespace nicops::ui {

class FormView {
public:
    virtual ~FormView() = default;

    // The control's text: a label's, button's or group box's caption, a box's content, or the
    // address an IPv4 address box is set from (it then shows what ipops::ipv4BoxText reads).
    virtual void setControlText(std::string_view name, const std::string& text) = 0;
    // What the control holds now: a box's content, an IPv4 address box's dotted text ("" when
    // blank), a caption otherwise.
    virtual std::string controlText(std::string_view name) const = 0;

    // Check boxes and radio buttons; other controls are never checked.
    virtual void setControlChecked(std::string_view name, bool checked) = 0;
    virtual bool controlChecked(std::string_view name) const = 0;

    virtual void setControlEnabled(std::string_view name, bool enabled) = 0;
    virtual void setControlVisible(std::string_view name, bool visible) = 0;

    // Gives the control the keyboard focus.
    virtual void focusControl(std::string_view name) = 0;
    // A box pastes what the clipboard holds now at its caret, replacing its selection, as a
    // user's Ctrl+V does; other controls ignore it.
    virtual void pasteIntoControl(std::string_view name) = 0;

    // Closes the dialog; nothing of it is used afterwards.
    virtual void closeDialog() = 0;
};

}  // namespace nicops::ui
