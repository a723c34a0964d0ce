#include "ui/qt/qt_add_range_dialog.h"

#include "ui/add_range_presenter.h"

namespace nicops::ui::qt {

QtAddRangeDialog::QtAddRangeDialog(DialogHost& host, QWidget* parent)
    : QtForm(kAddDialog, kAddDialogControls, parent) {
    keepEnterInBoxes();  // Enter in the range box is a new line
    for (std::size_t i = 0; i < add_names::kPresetButtons.size(); ++i) {
        onClicked(add_names::kPresetButtons[i],
                  [this, n = static_cast<int>(i) + 1] { presenter_->loadPreset(n); });
    }
    onClicked(add_names::kSaveButton, [this] { presenter_->savePreset(); });
    onClicked(add_names::kOkButton, [this] { presenter_->startAdd(); });
    presenter_ = std::make_unique<AddRangePresenter>(host, *this);
}

QtAddRangeDialog::~QtAddRangeDialog() = default;

}  // namespace nicops::ui::qt
