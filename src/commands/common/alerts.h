// The one way commands report to the user: an informational alert titled "Tip" with the
// given text, and the OK/Cancel variant.
#pragma once

#include <string>
#include <vector>

namespace tf {

class FinderSync;

// Shows the text under the "Tip" title with the given buttons (one "OK" when none); returns
// the 0-based button chosen, -1 when dismissed.
int alertWithMsg(FinderSync& sync, const std::string& text,
                 const std::vector<std::string>& buttons = {});
// "OK" and "Cancel"; true for OK.
bool alertPrompWithMsg(FinderSync& sync, const std::string& text);

}  // namespace tf
