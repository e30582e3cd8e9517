#pragma once

#include <string>

namespace tf {

// Decimal units ("B", "KB", "MB", "GB", "TB"), two decimals: 1000 -> "1000.00 B",
// 1001 -> "1.00 KB", 1500000 -> "1.50 MB"; values beyond TB stay in TB.
std::string fileSizeWithValue(double bytes);

}  // namespace tf
