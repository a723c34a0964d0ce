// The system clipboard as the export sees it: one text, replaced as a whole.
#pragma once

#include <string>

namespace nicops::platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces the clipboard's content with `gbk` (GBK text, lines ending CR LF). False when the
    // clipboard could not be taken (its old content then stays) or the text not handed over
    // (the clipboard may then be empty).
    virtual bool setText(const std::string& gbk) = 0;
};

}  // namespace nicops::platform
