#include "extension/command_cli.h"

namespace tf {

int runHashCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "trackfolio-sync: hash is not available yet\n";
    return 2;
}

}  // namespace tf
