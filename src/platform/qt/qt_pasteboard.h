// The clipboard port on the Qt clipboard. The service lives long, so what it copies stays
// available after the command that copied it has finished.
#pragma once

#include "platform/pasteboard.h"

namespace tf {

class QtPasteboard : public Pasteboard {
  public:
    void clearContents() override;
    // Also fills the X11 selection where there is one, so a middle click pastes it too.
    bool setString(const std::string& text) override;
};

}  // namespace tf
