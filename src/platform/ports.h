// Everything a command may use to reach the user and the desktop. The menu service fills it
// with its windowed adapters; `trackfolio-sync run` and the tests with the headless ones.
#pragma once

#include "platform/clock.h"
#include "platform/colour_picker.h"
#include "platform/file_info_window.h"
#include "platform/pasteboard.h"
#include "platform/process_runner.h"
#include "platform/progress_window.h"
#include "platform/user_interface.h"
#include "platform/workspace.h"

namespace tf {

struct Ports {
    UserInterface* ui = nullptr;
    ProgressWindow* progress = nullptr;
    Pasteboard* pasteboard = nullptr;
    Workspace* workspace = nullptr;
    ProcessRunner* processes = nullptr;
    const Clock* clock = nullptr;
    // Optional: without one the colour picker says it cannot run here.
    ColourPicker* colourPicker = nullptr;
    // Optional: without it the digests of "All Info" come in an alert.
    FileInfoWindows* fileInfo = nullptr;

    bool complete() const {
        return ui && progress && pasteboard && workspace && processes && clock;
    }
};

}  // namespace tf
