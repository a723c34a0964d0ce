#include "ui/add_range_presenter.h"

#include "ipops/ipv4_box.h"
#include "ipops/persisted_settings.h"
#include "ipops/range_presets.h"
#include "platform/settings_folder.h"
#include "settings/app_settings.h"
#include "ui/layout_tables.h"

namespace nicops::ui {

AddRangePresenter::AddRangePresenter(DialogHost& host, FormView& view)
    : host_(host), context_(host.context()), view_(view) {
    loadDefaultMask();
}

void AddRangePresenter::loadDefaultMask() {
    view_.setControlText(add_names::kMaskBox,
                         ipops::loadDefaultMask(context_.services(), host_.currentAdapterIndex()));
}

void AddRangePresenter::loadPreset(int n) {
    if (n < 1 || n > ipops::kPresetCount) {
        return;
    }
    const settings::AppSettings settings = context_.settings.get();
    const std::string number = ipops::presetNumberText(n);
    view_.setControlText(add_names::kRangeBox,
                         ipops::loadPresetText(settings.iniPath, settings.iniSection, n));
    view_.setControlText(add_names::kPresetLabel, number);
    context_.currentPresetKey = ipops::presetKey(n);
    view_.setControlText(add_names::kSaveButton, "保存为" + number);
    view_.setControlVisible(add_names::kSaveButton, true);
}

void AddRangePresenter::savePreset() {
    if (context_.currentPresetKey.empty()) {
        return;
    }
    const settings::AppSettings settings = context_.settings.get();
    platform::prepareSettingsFolder(settings.iniPath);
    ipops::savePresetText(settings.iniPath, settings.iniSection, context_.currentPresetKey,
                          view_.controlText(add_names::kRangeBox));
}

ipops::AddRequest AddRangePresenter::request() const {
    return {view_.controlText(add_names::kRangeBox),
            ipops::ipv4BoxText(view_.controlText(add_names::kMaskBox)),
            view_.controlChecked(add_names::kCheckInUse)};
}

void AddRangePresenter::startAdd() {
    host_.startWorker([services = context_.services(), privileged = context_.privileged,
                       &host = host_, request = request()] {
        if (privileged != nullptr) {
            privileged->addIpRanges(host, request);
        } else {
            ipops::addIpRanges(services, host, request);
        }
    });
    view_.closeDialog();
}

}  // namespace nicops::ui
