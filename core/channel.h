// Channel choices of an image: which bands a choice reads and how they are
// combined into colour and a scalar.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvalith {

enum ChannelKind : int {
    kChannelBands = 0,      // the listed bands as they are
    kChannelAverage = 1,    // the average of three bands
    kChannelLuminance = 2,  // the luminance of three bands
};

struct ChannelSpec {
    static constexpr int kMaxBands = 4;
    std::string name;
    int kind = kChannelBands;
    int bandCount = 0;
    int bands[kMaxBands] = {0, 0, 0, 0};
};

// The channel table for a file of `bands` bands: 1 → "Luminance"; 2 → two
// "Channel %i"; 3 → RGB, Red, Green, Blue, Average, Luminance; 4 and more →
// RGBA, RGB, Red, Green, Blue, Alpha, Average, Luminance, then "Channel %i"
// for every further band.
std::vector<ChannelSpec> buildChannelTable(int bands);

}  // namespace korvalith
