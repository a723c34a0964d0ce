// What the add dialog's presenter asks of a view. The dialog is modal and lives on the UI
// thread: every call is made there and runs at once. Texts are GBK; multi-line texts separate
// their lines with CR LF in both directions.
#pragma once

#include <string>
#include <string_view>

namespace nicops::ui {

class AddRangeView {
public:
    virtual ~AddRangeView() = default;

    // The control's text: a label's or button's caption, the range box's content, or the
    // address an IPv4 address box is set from (it then shows what ipops::ipv4BoxText reads).
    virtual void setControlText(std::string_view name, const std::string& text) = 0;
    virtual void setControlVisible(std::string_view name, bool visible) = 0;
    virtual void setControlEnabled(std::string_view name, bool enabled) = 0;
    virtual void setControlChecked(std::string_view name, bool checked) = 0;

    // What the control holds now: the range box's content, an IPv4 address box's dotted text
    // ("" when blank), a caption otherwise.
    virtual std::string controlText(std::string_view name) const = 0;
    virtual bool controlChecked(std::string_view name) const = 0;

    // Closes the dialog; nothing of it is used afterwards.
    virtual void closeDialog() = 0;
};

}  // namespace nicops::ui
