#include "util/log.h"

#include <unistd.h>

#include <cerrno>  // program_invocation_short_name
#include <string>

#include "util/posix.h"

namespace tf {

void logWarning(std::string_view message) {
    std::string line = program_invocation_short_name;
    line += ": ";
    // One message, one line: a line break inside would read as a second message.
    for (char c : message)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';

    // Written whole in one call (not piecewise through a stream) so lines from several
    // threads do not interleave. A closed standard error leaves no one to tell.
    static_cast<void>(writeAll(STDERR_FILENO, line));
}

}  // namespace tf
