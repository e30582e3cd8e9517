// Placeholders of catalogue scripts, filled in per selected item.
//
// "@rpath" the item's path, "@rpos" its folder, "@rfname" its last component, "@rname" that
// component without any extension, "@rext" its last extension in lower case. Values go in
// verbatim: the script is the user's own and quotes them itself where it must.
#pragma once

#include <string>
#include <string_view>

namespace tf {

bool hasScriptPlaceholder(std::string_view script);

// "@rpath" is replaced first, then "@rpos", "@rfname", "@rname" and "@rext" in that order.
std::string expandScriptPlaceholders(std::string_view script, const std::string& path);

}  // namespace tf
