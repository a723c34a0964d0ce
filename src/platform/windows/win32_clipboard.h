// The Windows clipboard: the text as CF_TEXT (GBK, the ANSI code page of a Chinese system) and
// the same text as CF_UNICODETEXT, so that programs reading either paste the same characters.
#pragma once

#include <memory>
#include <string>

#include "platform/clipboard.h"

namespace nicops::platform::windows {

class Win32Clipboard final : public Clipboard {
public:
    // Opens the clipboard without an owner window (from any thread), empties it, hands over
    // both forms and closes it. True only when both were handed over; on a failure at any step
    // what was not handed over is freed and the clipboard closed again. A clipboard another
    // program holds open can't be taken: false, and its content stays as it was.
    bool setText(const std::string& gbk) override;
};

// The clipboard a window or a command of this system puts its export on.
std::unique_ptr<Clipboard> makeSystemClipboard();

}  // namespace nicops::platform::windows
