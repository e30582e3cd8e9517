// The usage tally, the review prompt it paces, and the way to the settings application.
#include "engine/finder_sync.h"
#include "model/menu_manager.h"
#include "model/value.h"
#include "runtime/queues.h"
#include "util/log.h"
#include "util/strings.h"

namespace tf {

void FinderSync::useSuccess(const RCMenuItem& entry) {
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    std::int64_t total = 0;
    bool reviewed = false;
    const WriteResult written = settings.update([&](Dict& values) {
        total = dictInteger(values, kUseCountKey) + 1;
        reviewed = dictBool(values, "is reviewed");
        values[std::string(kUseCountKey)] = Value(total);
        Dict perKey;
        if (const Value* stored = find(values, kUseCountByKeyKey); stored && stored->dict()) {
            perKey = *stored->dict();
        }
        perKey[entry.key] = Value(dictInteger(perKey, entry.key) + 1);
        values[std::string(kUseCountByKeyKey)] = Value(std::move(perKey));
    });
    if (!written.ok) {
        logWarning("usage tally not saved: " + written.error);
        return;
    }
    if (total % 30 == 3 && !reviewed) {
        foreQueue().post(
            [this] {
                AlertRequest request;
                request.message = localized("Review Tip");
                request.buttons = {localized("Go Review"), localized("Next Time")};
                request.style = AlertStyle::Informational;
                if (showAlert(request) == 0) {
                    goReview();
                }
            },
            reviewDelay_);
    }
}

void FinderSync::goSet() {
    if (!RCMenuManager::sharedInstance().openMainApp()) {
        AlertRequest request;
        request.message = localized("Open Settings Fail");
        request.informative = localized("Open Settings Fail Tip");
        showAlert(request);
    }
}

void FinderSync::goReview() {
    ports_.workspace->openUrl(std::string(kReviewPage));
    const WriteResult written =
        RCMenuManager::sharedInstance().sharedDefaults().set("is reviewed", Value(true));
    if (!written.ok) {
        logWarning("could not remember the review: " + written.error);
    }
}

int FinderSync::showAlert(const AlertRequest& request) {
    return ports_.ui->runAlert(request);
}

}  // namespace tf
