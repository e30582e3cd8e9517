#pragma once

#include <string_view>

namespace tf {

// One line on standard error, prefixed with the program's name. Used for things the user
// should learn about but that must not interrupt a menu request (a damaged settings file).
void logWarning(std::string_view message);

}  // namespace tf
