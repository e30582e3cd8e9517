#include "platform/pasteboard.h"

#include "util/text.h"

namespace tf {

bool copyToPasteboard(Pasteboard& pasteboard, std::string_view text) {
    pasteboard.clearContents();
    return pasteboard.setString(trim(text));
}

}  // namespace tf
