// The system clipboard as the export sees it: one text, replaced as a whole.
#pragma once

#include <string>

namespace nicops::platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces the clipboard's content with `gbk` (GBK text, lines ending CR LF). False when the
    // clipboard could not be taken or the text not handed over; the old content then stays.
    virtual bool setText(const std::string& gbk) = 0;
};

}  // namespace nicops::platform
