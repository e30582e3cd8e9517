// Port to the screen colour picker: the user picks one pixel anywhere on the screen.
#pragma once

#include <functional>

namespace tf {

// Components from 0.0 to 1.0.
struct ScreenColour {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
};

enum class ColourSampler {
    // The desktop's own sampler.
    Desktop,
    // Our magnifier window, where the desktop offers no sampler.
    Magnifier,
};

enum class ColourPickStatus {
    Picked,
    Cancelled,
    // Neither the desktop's sampler nor our magnifier can be used here.
    Unavailable,
};

struct ColourPick {
    ColourPickStatus status = ColourPickStatus::Unavailable;
    ScreenColour colour;
    ColourSampler sampler = ColourSampler::Desktop;
};

struct ColourPickRequest {
    // Runs once, on the main queue, just before the magnifier shows (never for the desktop's
    // sampler). May show a modal prompt.
    std::function<void()> beforeMagnifier;
    // Runs exactly once with the outcome, on the main queue; possibly before pickColour
    // returns.
    std::function<void(const ColourPick&)> done;
};

class ColourPicker {
  public:
    virtual ~ColourPicker() = default;
    // The desktop's own sampler first; where none answers, the magnifier where one can be
    // shown. Returns at once: the user picks while the event loop runs.
    virtual void pickColour(ColourPickRequest request) = 0;
};

}  // namespace tf
