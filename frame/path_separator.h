// The platform's path separator. Paths the host hands over use it; code
// that splits or joins paths asks here instead of assuming one.
#pragma once

namespace korvalith {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace korvalith
