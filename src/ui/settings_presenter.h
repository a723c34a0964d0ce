// The settings window: shows the lookup's and the export's settings as they are in memory,
// types placeholders into the template boxes through the clipboard, and on "确定" stores every
// changed value in memory and in the settings file, then closes. Closing it any other way
// changes nothing.
#pragma once

#include <string_view>

#include "platform/clipboard.h"
#include "ui/app_context.h"
#include "ui/form_view.h"

namespace nicops::ui {

class SettingsPresenter {
public:
    // A new window: the boxes show the settings in memory (showSettings).
    SettingsPresenter(AppContext& context, FormView& view, platform::Clipboard& clipboard);

    // The boxes get the settings in memory, the integers as decimal text.
    void showSettings();
    // A placeholder menu's item: `text` goes on the clipboard (what it held is lost; a failure
    // is not examined) and `box`, focused, pastes it at its caret over its selection.
    void insertPlaceholder(std::string_view box, std::string_view text);
    // "确定": each value whose box differs from memory (texts byte for byte, integers by value
    // of their leading number, 0 for none) is set in memory and written to its key; unchanged
    // values are not written. Memory changes even when the file can't be written. Then closes.
    void applySettings();

private:
    AppContext& context_;
    FormView& view_;
    platform::Clipboard& clipboard_;
};

}  // namespace nicops::ui
