// Port to the file information window: the five digests of one file, each with a way to copy
// it. Where the port is missing (headless runs), the command shows them in an alert instead.
#pragma once

#include <string>

namespace tf {

class FileInfoWindows {
  public:
    virtual ~FileInfoWindows() = default;

    // Shows the window of the file and returns at once; the digests are computed in the
    // background and fill the window when they are done. A file whose window is open
    // already gets that window brought to the front.
    virtual void open(const std::string& path) = 0;
};

}  // namespace tf
