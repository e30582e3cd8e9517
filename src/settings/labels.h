// The settings pages' texts: a key of the strings table, as a Qt string.
#pragma once

#include <QString>

#include <string_view>

#include "platform/qt/qt_edge.h"
#include "util/strings.h"

namespace tf {

inline QString label(std::string_view key) {
    return qt::text(localized(key));
}

}  // namespace tf
