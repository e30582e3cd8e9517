// `trackfolio-sync pasteboard` on the bus: hands standard input to the menu service.
#pragma once

#include <string>
#include <vector>

namespace tf {

int runPasteboardClient(int argc, char** argv, const std::vector<std::string>& args);

}  // namespace tf
