// The main window's view for the command line: log lines go to stderr as they come, the
// details report, adapter items and list rows are kept for the command to print.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ui/main_view.h"

namespace nicops::app {

class ConsoleView final : public ui::MainView {
public:
    // Output in the given encoding (the terminal's).
    explicit ConsoleView(std::string encoding, std::FILE* logStream = stderr)
        : encoding_(std::move(encoding)), logStream_(logStream) {}

    void setWindowCaption(const std::string&) override {}
    void setControlText(std::string_view name, const std::string& text) override;
    void setControlEnabled(std::string_view, bool) override {}
    void setControlVisible(std::string_view, bool) override {}
    void setMenuItemEnabled(std::string_view, bool) override {}
    void setComboItems(const std::vector<ui::ComboItem>&, int) override {}
    void setComboSelection(int) override {}
    void setListRows(const std::vector<ui::IpListRow>& rows) override { rows_ = rows; }
    void appendLogText(const std::string& lines) override;
    void showMessage(const std::string& text, const std::string& title,
                     ui::MessageIcon icon) override;
    void openUrl(const std::string&) override {}
    void post(std::function<void()> task) override { task(); }

    const std::string& detailsReport() const { return details_; }
    const std::vector<ui::IpListRow>& rows() const { return rows_; }

    // GBK text in the terminal's encoding.
    std::string out(const std::string& gbk) const;

private:
    std::string encoding_;
    std::FILE* logStream_;
    std::string details_;
    std::vector<ui::IpListRow> rows_;
};

}  // namespace nicops::app
