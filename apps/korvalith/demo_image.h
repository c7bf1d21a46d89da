// The demo's planet: a large procedural RGB JPEG 2000 map with a labelled
// latitude/longitude grid, written once through the codec's compression
// client and kept; and grey maps of its water and elevation.
#pragma once

#include <functional>
#include <string>

namespace korvalith::app {

// Where the demo keeps its image: $KORVALITH_DEMO_DATA, else
// $XDG_CACHE_HOME/korvalith, else ~/.cache/korvalith.
std::string demoDataDirectory();

// What a map of the demo planet shows: the colour map with its labelled
// grid (RGB), the same colours without the grid, the water mask (grey:
// water 1, land 0) or the elevation (grey: sea level 0 to the highest
// peaks 1). All share one terrain.
enum class TerrainLayer { Colour, Land, WaterMask, Elevation };

// Writes the map of width × height (2:1) to path. progress gets the
// fraction done. Throws std::runtime_error with the codec's reason.
void writeDemoImage(const std::string& path, int width, int height,
                    const std::function<void(double)>& progress = {}, TerrainLayer layer = TerrainLayer::Colour);

// The path of the kept demo image, generated first when missing.
std::string ensureDemoImage(int width, int height, const std::function<void(double)>& progress = {});

}  // namespace korvalith::app
