#include "commands/common/alerts.h"

#include "engine/finder_sync.h"
#include "util/strings.h"

namespace tf {

int alertWithMsg(FinderSync& sync, const std::string& text,
                 const std::vector<std::string>& buttons) {
    AlertRequest request;
    request.message = localized("Tip");
    request.informative = text;
    request.buttons = buttons.empty() ? std::vector<std::string>{localized("OK")} : buttons;
    request.style = AlertStyle::Informational;
    return sync.showAlert(request);
}

bool alertPrompWithMsg(FinderSync& sync, const std::string& text) {
    return alertWithMsg(sync, text, {localized("OK"), localized("Cancel")}) == 0;
}

}  // namespace tf
