// The IPv4 address box: a line edit that holds nothing or four numbers 0 to 255. Set from any
// text, it shows what ipops::ipv4BoxText reads from it; read back, it gives the same rule's
// dotted text of what the user typed ("" while incomplete). Typing is limited to digits and
// dots in at most four groups.
#pragma once

#include <QLineEdit>

#include <string>
#include <string_view>

namespace nicops::ui::qt {

class QtIpv4Box final : public QLineEdit {
public:
    explicit QtIpv4Box(QWidget* parent = nullptr);

    // GBK in and out.
    void setAddress(std::string_view text);
    std::string address() const;
};

}  // namespace nicops::ui::qt
