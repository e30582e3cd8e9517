#include "util/log.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace tf {

void logWarning(std::string_view message) {
    std::string line = program_invocation_short_name;
    line += ": ";
    // One message, one line: a line break inside would read as a second message.
    for (char c : message)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';

    // Written whole in one call (not piecewise through a stream) so lines from several
    // threads do not interleave.
    std::string_view rest = line;
    while (!rest.empty()) {
        ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (written > 0) {
            rest.remove_prefix(static_cast<std::size_t>(written));
        } else if (written == 0 || errno != EINTR) {
            return;
        }
    }
}

}  // namespace tf
