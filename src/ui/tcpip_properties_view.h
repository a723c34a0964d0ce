// What the TCP/IPv4 properties dialog's presenter asks of a view. The dialog is modal and lives
// on the UI thread: every call is made there and runs at once. Texts are GBK.
#pragma once

#include <string>
#include <string_view>

namespace nicops::ui {

class TcpipPropertiesView {
public:
    virtual ~TcpipPropertiesView() = default;

    // The address an IPv4 address box is set from (it then shows what ipops::ipv4BoxText reads),
    // or a label's or button's caption.
    virtual void setControlText(std::string_view name, const std::string& text) = 0;
    virtual void setControlEnabled(std::string_view name, bool enabled) = 0;
    virtual void setControlChecked(std::string_view name, bool checked) = 0;

    // What the control holds now: an IPv4 address box's dotted text ("" when blank), a caption
    // otherwise.
    virtual std::string controlText(std::string_view name) const = 0;
    virtual bool controlChecked(std::string_view name) const = 0;

    // Closes the dialog; nothing of it is used afterwards.
    virtual void closeDialog() = 0;
};

}  // namespace nicops::ui
