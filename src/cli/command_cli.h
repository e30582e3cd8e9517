// Command-line commands of trackfolio-sync that belong to a command family.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace tf {

// Shows an alert in a real window and returns the chosen button's index (-1 when dismissed).
// Only a build with windows installs one; `alert` then uses it when there is a display and
// no scripted answers.
using WindowedAlert = std::function<int(const AlertRequest&)>;
void setWindowedAlert(WindowedAlert show);

// `trackfolio-sync alert ...`: args[0] is "alert".
int runAlertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `trackfolio-sync convert ...`: args[0] is "convert".
int runConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `trackfolio-sync folder-icon ...`: args[0] is "folder-icon".
int runFolderIconCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);
// `trackfolio-sync hash ...`: args[0] is "hash".
int runHashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `trackfolio-sync unzip ...`: args[0] is "unzip".
int runUnzipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `trackfolio-sync zip ...`: args[0] is "zip".
int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tf
