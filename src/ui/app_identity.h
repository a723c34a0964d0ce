// What the program says about itself: title, banner, link labels and about text (GBK).
#pragma once

#include <string>

namespace nicops::ui {

inline constexpr const char* kAppTitle = "汐桉网卡操作";

// "nicops 0.1.0 ..." — logged at start-up and after every refresh.
std::string appBanner();
std::string aboutText();

struct LinkLabel {
    std::string caption;
    std::string address;  // empty: the label is hidden
};
LinkLabel exchangeLink();
LinkLabel issuesLink();

}  // namespace nicops::ui
