// `trackfolio-sync pasteboard`: standard input onto the clipboard. The clipboard belongs to
// the long-lived menu service (a clipboard's text lives as long as the program that set it),
// so the text is handed to the service over the session bus.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace tf {

// More input than this is refused: a clipboard text that large is a mistake, not a name.
inline constexpr std::size_t kPasteboardLimit = std::size_t{16} << 20;

// Hands the text to the menu service; true when the clipboard now holds it, else false with
// the reason. Only the Qt program has a bus client and installs one.
using PasteboardSender = std::function<bool(const std::string& text, std::string& error)>;
void setPasteboardSender(PasteboardSender send);

// args[0] is "pasteboard". 0 when the clipboard holds the text; 1 when it could not be handed
// over; 2 for bad usage or input over the limit (the clipboard is then left alone).
int runPasteboardCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                         std::ostream& err);

}  // namespace tf
