// Port to the clipboard.
#pragma once

#include <string>
#include <string_view>

namespace tf {

class Pasteboard {
  public:
    virtual ~Pasteboard() = default;
    virtual void clearContents() = 0;
    // True when the clipboard accepted the text.
    virtual bool setString(const std::string& text) = 0;
};

// Every command that copies text goes through here, so copied text never ends with a line
// break or blanks.
bool copyToPasteboard(Pasteboard& pasteboard, std::string_view text);

}  // namespace tf
