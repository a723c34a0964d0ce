// The add dialog: it proposes the current adapter's mask, loads and saves the six range presets,
// and on "确定" hands the range text, mask and in-use check to the add operation on a worker of
// its host, then closes. The work itself is ipops::addIpRanges, the dialog's host its operation
// host.
#pragma once

#include "ipops/add_range.h"
#include "ui/dialog_host.h"
#include "ui/form_view.h"

namespace nicops::ui {

class AddRangePresenter {
public:
    // A new dialog: the mask box is set to the mask stored for the host's current adapter
    // (ipops::loadDefaultMask). The preset label and save button keep the layout's
    // empty, hidden start whatever preset an earlier dialog loaded.
    AddRangePresenter(DialogHost& host, FormView& view);

    // Preset button n (1 … 6): its stored text into the range box, its number into the label,
    // the save button "保存为" + number shown; the preset becomes the save target.
    void loadPreset(int n);
    // The save button: the range box's text into the preset loaded last (also by an earlier
    // dialog); nothing when none was loaded. A failed write is not reported.
    void savePreset();
    // "确定": the request is copied out of the controls, the add starts on a worker, the dialog
    // closes.
    void startAdd();

    // What "确定" copies out of the dialog now.
    ipops::AddRequest request() const;

private:
    void loadDefaultMask();

    DialogHost& host_;
    AppContext& context_;
    FormView& view_;
};

}  // namespace nicops::ui
