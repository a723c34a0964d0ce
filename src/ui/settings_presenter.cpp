#include "ui/settings_presenter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini_file.h"
#include "platform/settings_folder.h"
#include "settings/app_settings.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

struct KeyWrite {
    std::string_view key;
    std::string value;
};

}  // namespace

SettingsPresenter::SettingsPresenter(AppContext& context, FormView& view,
                                     platform::Clipboard& clipboard)
    : context_(context), view_(view), clipboard_(clipboard) {
    showSettings();
}

void SettingsPresenter::showSettings() {
    const settings::AppSettings settings = context_.settings.get();
    view_.setControlText(settings_names::kCopyFormatBox, settings.copyFormat);
    view_.setControlText(settings_names::kLocationFormatBox, settings.locationFormat);
    view_.setControlText(settings_names::kConnectTimeoutBox,
                         std::to_string(settings.connectTimeoutMs));
    view_.setControlText(settings_names::kRequestTimeoutBox,
                         std::to_string(settings.requestTimeoutMs));
    view_.setControlText(settings_names::kLookupServerBox, settings.lookupServer);
    view_.setControlText(settings_names::kLookupConcurrencyBox,
                         std::to_string(settings.lookupConcurrency));
}

void SettingsPresenter::insertPlaceholder(std::string_view box, std::string_view text) {
    view_.focusControl(box);
    clipboard_.setText(std::string(text));
    view_.pasteIntoControl(box);
}

void SettingsPresenter::applySettings() {
    settings::AppSettings settings = context_.settings.get();
    std::vector<KeyWrite> writes;
    const auto text = [&](std::string_view box, std::string& value, std::string_view key) {
        std::string typed = view_.controlText(box);
        if (typed != value) {
            value = typed;
            writes.push_back({key, std::move(typed)});
        }
    };
    const auto integer = [&](std::string_view box, std::int32_t& value, std::string_view key,
                             std::int32_t minimum = INT32_MIN) {
        const std::int32_t typed =
            std::max(minimum, settings::settingsInteger(view_.controlText(box)));
        if (typed != value) {
            value = typed;
            writes.push_back({key, std::to_string(typed)});
        }
    };
    text(settings_names::kLocationFormatBox, settings.locationFormat, settings::kLocationFormatKey);
    text(settings_names::kCopyFormatBox, settings.copyFormat, settings::kCopyFormatKey);
    integer(settings_names::kConnectTimeoutBox, settings.connectTimeoutMs,
            settings::kConnectTimeoutKey);
    integer(settings_names::kRequestTimeoutBox, settings.requestTimeoutMs,
            settings::kRequestTimeoutKey);
    text(settings_names::kLookupServerBox, settings.lookupServer, settings::kLookupServerKey);
    integer(settings_names::kLookupConcurrencyBox, settings.lookupConcurrency,
            settings::kLookupConcurrencyKey, 1);

    if (!writes.empty()) {
        const std::string path = settings.iniPath;
        const std::string section = settings.iniSection;
        context_.settings.set(std::move(settings));
        platform::prepareSettingsFolder(path);
        for (const KeyWrite& write : writes) {
            platform::writeIniString(path, section, write.key, write.value);
        }
    }
    view_.closeDialog();
}

}  // namespace nicops::ui
