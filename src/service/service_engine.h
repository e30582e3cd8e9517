// The engine as the menu service runs it: FinderSync with its ports, either the Qt windows
// or, for tests and scripted use (TRACKFOLIO_HEADLESS=1), the headless ones.
#pragma once

#include <memory>
#include <string>

#include "engine/finder_sync.h"

namespace tf {

class ServiceEngine {
  public:
    virtual ~ServiceEngine() = default;
    virtual FinderSync& sync() = 0;
};

// Whether the service runs headless: asked for, built without windows, or no display.
bool serviceRunsHeadless();

// Prompts are answered from $TRACKFOLIO_ANSWERS (JSON lines) and everything shown or
// launched goes to $TRACKFOLIO_TRANSCRIPT; launches are only recorded when the headless
// mode was asked for. Nothing (with the reason) when a file cannot be read or created.
std::unique_ptr<ServiceEngine> makeHeadlessEngine(std::string& error);

// The Qt windows; nothing when this build has none.
std::unique_ptr<ServiceEngine> makeWindowedEngine();

}  // namespace tf
