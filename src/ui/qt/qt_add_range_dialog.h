// The add dialog in Qt: modal, owned by the main window, a QtForm of kAddDialog and
// kAddDialogControls. Its presenter decides everything; the dialog forwards the buttons.
#pragma once

#include <memory>

#include "ui/dialog_host.h"
#include "ui/qt/qt_form.h"

namespace nicops::ui {
class AddRangePresenter;
}

namespace nicops::ui::qt {

class QtAddRangeDialog final : public QtForm {
public:
    // Builds the controls, then the presenter, which proposes the mask.
    QtAddRangeDialog(DialogHost& host, QWidget* parent);
    ~QtAddRangeDialog() override;

    AddRangePresenter& presenter() { return *presenter_; }

private:
    std::unique_ptr<AddRangePresenter> presenter_;
};

}  // namespace nicops::ui::qt
