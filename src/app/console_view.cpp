#include "app/console_view.h"

#include "text/codepage.h"
#include "text/text_functions.h"
#include "ui/layout_tables.h"

namespace nicops::app {

void ConsoleView::setControlText(std::string_view name, const std::string& text) {
    if (name == ui::names::kDetailsBox) {
        details_ = text;
    }
}

void ConsoleView::appendLogText(const std::string& lines) {
    std::string converted;
    for (const std::string& line : text::splitText(lines, "\r\n")) {
        converted += out(line);
        converted += '\n';
    }
    std::fputs(converted.c_str(), logStream_);
    std::fflush(logStream_);
}

void ConsoleView::showMessage(const std::string& text, const std::string& title, ui::MessageIcon) {
    std::fprintf(logStream_, "%s: %s\n", out(title).c_str(), out(text).c_str());
}

std::string ConsoleView::out(const std::string& gbk) const {
    return text::gbkToEncoding(gbk, encoding_);
}

}  // namespace nicops::app
