// "Encrypted Compression": packs the selection into one zip archive, optionally with a
// password, in the background with the progress window and Cancel.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tf {

class FinderSync;

// The archive name the save panel proposes: the item's name without its extension for one
// item, the "Archiver" text for several.
std::string defaultArchiveName(const std::vector<std::string>& paths);

// Whether this FinderSync is compressing now (a second compression is ignored meanwhile).
bool isCompressing(const FinderSync& sync);

}  // namespace tf
