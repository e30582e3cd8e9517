#include "commands/colour/colour_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/builtin_commands.h"
#include "engine/finder_sync.h"
#include "model/menu_manager.h"
#include "platform/pasteboard.h"
#include "util/strings.h"

namespace tf {

namespace {

// A component times 255, kept within a byte whatever a sampler reports (wide-gamut values
// beyond the range, or no number at all).
double scaled(double component) {
    return std::isnan(component) ? 0.0 : std::clamp(component, 0.0, 1.0) * 255.0;
}

void showResult(FinderSync& sync, const ScreenColour& colour) {
    const bool withHash = RCMenuManager::sharedInstance().sharedDefaults().readBool("pref check6");
    const ColourTexts texts = colourTexts(colour, withHash);
    AlertRequest request;
    request.style = AlertStyle::Informational;
    // The full-width colons belong to the format: it is shown as it is in every language.
    request.informative = formatText("HEX\uFF1A%@\n\nRGB\uFF1A%@", {texts.hex, texts.rgb});
    const std::string copy = localized("Copy");
    request.buttons = {formatText("%@ HEX", {copy}), formatText("%@ RGB", {copy})};
    const int chosen = sync.showAlert(request);
    if (chosen == 0) {
        copyToPasteboard(*sync.ports().pasteboard, texts.hex);
    } else if (chosen == 1) {
        copyToPasteboard(*sync.ports().pasteboard, texts.rgb);
    }
}

void showUnavailable(FinderSync& sync) {
    AlertRequest request;
    request.message = localized("Color Picker");
    request.informative = localized("Color Picker Unavailable Tip");
    request.style = AlertStyle::Warning;
    sync.showAlert(request);
}

// Screen capture is what the magnifier needs from the desktop; the first time, say so.
void tipOnce(FinderSync& sync) {
    SettingsStore& own = RCMenuManager::sharedInstance().privateDefaults();
    if (own.readBool(kScreenRecordTipKey)) {
        return;
    }
    own.set(kScreenRecordTipKey, true);
    AlertRequest request;
    request.informative = localized("Screen Record Tip");
    request.style = AlertStyle::Informational;
    sync.showAlert(request);
}

void startColorPicker(FinderSync& sync, const CommandCall& /*call*/) {
    ColourPicker* picker = sync.ports().colourPicker;
    if (picker == nullptr) {
        showUnavailable(sync);
        return;
    }
    ColourPickRequest request;
    request.beforeMagnifier = [&sync] { tipOnce(sync); };
    request.done = [&sync](const ColourPick& pick) {
        switch (pick.status) {
            case ColourPickStatus::Picked:
                showResult(sync, pick.colour);
                break;
            case ColourPickStatus::Unavailable:
                showUnavailable(sync);
                break;
            case ColourPickStatus::Cancelled:
                break;
        }
    };
    picker->pickColour(std::move(request));
}

}  // namespace

ColourTexts colourTexts(const ScreenColour& colour, bool withHash) {
    const double red = scaled(colour.red);
    const double green = scaled(colour.green);
    const double blue = scaled(colour.blue);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%s%02X%02X%02X", withHash ? "#" : "",
                  static_cast<unsigned>(red), static_cast<unsigned>(green),
                  static_cast<unsigned>(blue));
    char rgb[48];
    std::snprintf(rgb, sizeof rgb, "%.0f,%.0f,%.0f", red, green, blue);
    return {hex, rgb};
}

void registerColourCommands(CommandTable& table) {
    table.set(CommandId::ColorPicker, startColorPicker);
}

}  // namespace tf
