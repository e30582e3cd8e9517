// Who we are: identifiers, version, and which of the two programs is running.
#pragma once

#include <string_view>

namespace tf {

inline constexpr std::string_view kProductVersion = "3.0.0";
inline constexpr std::string_view kHostIdentifier = "org.trackfolio.Trackfolio";
inline constexpr std::string_view kExtensionIdentifier = "org.trackfolio.Trackfolio.extension";
inline constexpr std::string_view kAppGroupIdentifier = "group.org.trackfolio.Trackfolio";
// Page the welcome script offers for a review.
inline constexpr std::string_view kReviewPage = "https://trackfolio.org/review";
// Pages the settings window's menu opens.
inline constexpr std::string_view kFeedbackPage = "https://trackfolio.org/feedback";
inline constexpr std::string_view kHelpPage = "https://trackfolio.org/help";

// The settings application (host) and the menu service (extension) compile the same model;
// a few rules differ (the extension drops switched-off entries when loading lists).
enum class Deliverable { Host, Extension };

// Each program's main sets this once at start; tests set it per case.
void setRunningDeliverable(Deliverable deliverable);
Deliverable runningDeliverable();

// Binary name of a deliverable: "trackfolio" or "trackfolio-sync".
std::string_view deliverableName(Deliverable deliverable);

}  // namespace tf
