// The screen colour picker: the user picks a pixel, the result offers its code to copy.
#pragma once

#include <string>

#include "platform/colour_picker.h"

namespace tf {

struct ColourTexts {
    // Two uppercase hexadecimal digits per component, each component times 255 cut toward
    // zero; "#" in front when asked for.
    std::string hex;
    // "r,g,b", each component times 255 rounded to a whole number.
    std::string rgb;
};

ColourTexts colourTexts(const ScreenColour& colour, bool withHash);

// The private setting that remembers the magnifier's one-time tip was shown.
inline constexpr const char* kScreenRecordTipKey = "Screen Record Tip";

}  // namespace tf
