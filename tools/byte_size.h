// Byte counts as people read them.
#pragma once

#include <string>

namespace korvalith {

// "%.2f %s" with the value stepped down by 1024 through KB, MB, GB and TB
// while it is above 1024: 1024 is "1024.00 Bytes", 1025 is "1.00 KB";
// values beyond 1024 TB stay in TB.
std::string formatByteSize(double bytes);

}  // namespace korvalith
