// The module's built-in picture (its logo), shown by the information
// panel and drawn where a layer has no image.
#pragma once

namespace korvalith {

inline constexpr int kLogoWidth = 203;
inline constexpr int kLogoHeight = 104;

// 3 bytes per pixel in the order blue, green, red; rows stored from the
// bottom row up (the first stored row is the lowest row of the picture).
extern const unsigned char kLogoPicture[kLogoWidth * kLogoHeight * 3];

}  // namespace korvalith
