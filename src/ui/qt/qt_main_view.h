// The main window in Qt. It is built from the layout tables (the controls' object names are the
// tables' names), draws what the presenter tells it and forwards the user's actions to the
// presenter; it decides nothing itself. Calls from worker threads are carried over to the UI
// thread in order and never make the worker wait.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/layout_tables.h"
#include "ui/main_view.h"

class QAction;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QTableView;

namespace nicops::ui {
class MainPresenter;
}

namespace nicops::ui::qt {

class IpListModel;
class QtAddRangeDialog;
class QtClipboard;
class QtSettingsDialog;
class QtTcpipDialog;
class UiCallQueue;

class QtMainView final : public QWidget, public MainView {
public:
    explicit QtMainView(QWidget* parent = nullptr);
    ~QtMainView() override;

    // The presenter that receives the window's events; none reach a presenter before this.
    void attach(MainPresenter& presenter);
    // What closing the window does instead of hiding it (the program ends there).
    void setCloseHandler(std::function<void()> handler);
    // Opens the list menu at a point of the list's viewport, as a right-click there does.
    void openListMenu(const QPoint& viewportPos);

    QTableView* ipList() const { return ipList_; }
    IpListModel* ipListModel() const { return model_; }
    QMenu* listMenu() const { return listMenu_; }
    // The add dialog while it is open; nullptr otherwise.
    QtAddRangeDialog* addDialog() const;
    // The settings window while it is open; nullptr otherwise.
    QtSettingsDialog* settingsDialog() const;
    // The TCP/IPv4 properties dialog while it is open; nullptr otherwise.
    QtTcpipDialog* tcpipDialog() const;

    // MainView
    void setWindowCaption(const std::string& caption) override;
    void setControlText(std::string_view name, const std::string& text) override;
    void setControlEnabled(std::string_view name, bool enabled) override;
    void setControlVisible(std::string_view name, bool visible) override;
    void setMenuItemEnabled(std::string_view caption, bool enabled) override;
    void setComboItems(const std::vector<ComboItem>& items, int selected) override;
    void setComboSelection(int selected) override;
    void setListRows(const std::vector<IpListRow>& rows) override;
    void reorderListRows(const std::vector<IpListRow>& rows,
                         const std::vector<std::size_t>& from) override;
    void appendLogText(const std::string& lines) override;
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void openUrl(const std::string& address) override;
    void post(std::function<void()> task) override;
    // A modal QtAddRangeDialog, deleted when it closes.
    void openAddDialog() override;
    // A modal QtSettingsDialog, deleted when it closes.
    void openSettingsDialog() override;
    // A modal QtTcpipDialog, deleted when it closes.
    void openTcpipDialog() override;
    platform::Clipboard* clipboard() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Control {
        ControlKind kind;
        QWidget* widget;
    };
    struct MenuItem {
        QAction* action;
    };

    QWidget* buildControl(const ControlSpec& entry);
    void buildListView();
    void buildListMenu();
    const Control* control(std::string_view name) const;
    // Tells the presenter which rows are selected now.
    void reportSelection();

    // Set up in the constructor and only read afterwards, so any thread may look them up.
    UiCallQueue* calls_ = nullptr;
    std::map<std::string, Control, std::less<>> controls_;
    std::map<std::string, MenuItem, std::less<>> menuItems_;
    QTableView* ipList_ = nullptr;
    IpListModel* model_ = nullptr;
    QComboBox* combo_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QMenu* listMenu_ = nullptr;

    MainPresenter* presenter_ = nullptr;         // UI thread only
    QPointer<QtAddRangeDialog> addDialog_;       // UI thread only
    QPointer<QtSettingsDialog> settingsDialog_;  // UI thread only
    QPointer<QtTcpipDialog> tcpipDialog_;        // UI thread only
    std::unique_ptr<QtClipboard> clipboard_;
    std::function<void()> closeHandler_;
};

}  // namespace nicops::ui::qt
