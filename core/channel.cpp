#include "channel.h"

#include <cstdio>

namespace korvalith {

namespace {
ChannelSpec spec(std::string name, int kind, std::initializer_list<int> bands) {
    ChannelSpec s;
    s.name = std::move(name);
    s.kind = kind;
    for (int b : bands) s.bands[s.bandCount++] = b;
    return s;
}

std::string numbered(int band) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Channel %i", band);
    return buf;
}
}  // namespace

std::vector<ChannelSpec> buildChannelTable(int bands) {
    std::vector<ChannelSpec> table;
    if (bands <= 0) return table;
    if (bands == 1) {
        table.push_back(spec("Luminance", kChannelBands, {0}));
    } else if (bands == 2) {
        table.push_back(spec(numbered(0), kChannelBands, {0}));
        table.push_back(spec(numbered(1), kChannelBands, {1}));
    } else {
        if (bands > 3) table.push_back(spec("RGBA", kChannelBands, {0, 1, 2, 3}));
        table.push_back(spec("RGB", kChannelBands, {0, 1, 2}));
        table.push_back(spec("Red", kChannelBands, {0}));
        table.push_back(spec("Green", kChannelBands, {1}));
        table.push_back(spec("Blue", kChannelBands, {2}));
        if (bands > 3) table.push_back(spec("Alpha", kChannelBands, {3}));
        table.push_back(spec("Average", kChannelAverage, {0, 1, 2}));
        table.push_back(spec("Luminance", kChannelLuminance, {0, 1, 2}));
        for (int b = 4; b < bands; ++b) table.push_back(spec(numbered(b), kChannelBands, {b}));
    }
    return table;
}

}  // namespace korvalith
