#include "demo_image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include "canvas.h"
#include "codec.h"

namespace korvalith::app {

namespace {

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x85ebca6bu;
    h ^= h >> 16;
    return h;
}

double lattice(int x, int y, int period, uint32_t seed) {
    const int px = ((x % period) + period) % period;  // wraps around the longitude
    return (hash(static_cast<uint32_t>(px), static_cast<uint32_t>(y), seed) & 0xFFFF) / 65535.0;
}

// Smooth value noise that wraps every period cells in x.
double valueNoise(double x, double y, int period, uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double a = lattice(x0, y0, period, seed), b = lattice(x0 + 1, y0, period, seed);
    const double c = lattice(x0, y0 + 1, period, seed), d = lattice(x0 + 1, y0 + 1, period, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Continents: fractal noise computed once on a coarse grid; pixels
// interpolate it and add a cheap fine detail, so generating a huge map
// costs little more than writing it.
class Terrain {
public:
    Terrain() : heights_(static_cast<size_t>(kW) * kH) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                double sum = 0, amplitude = 0.5, frequency = 4;
                for (int octave = 0; octave < 8; ++octave) {
                    const int period = static_cast<int>(frequency);
                    sum += amplitude * valueNoise(x * frequency / kW, y * frequency / kW, period, 17u + octave);
                    amplitude *= 0.5;
                    frequency *= 2;
                }
                heights_[static_cast<size_t>(y) * kW + x] = sum;
            }
    }
    // Height at longitude fraction u (0 … 1) and latitude fraction v (0 … 1).
    double height(double u, double v) const {
        const double x = u * kW - 0.5, y = std::clamp(v * kH - 0.5, 0.0, kH - 1.0);
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(y);
        const double fx = x - x0, fy = y - y0;
        auto at = [&](int xi, int yi) {
            xi = ((xi % kW) + kW) % kW;
            yi = std::min(yi, kH - 1);
            return heights_[static_cast<size_t>(yi) * kW + xi];
        };
        const double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
        const double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
        return top + (bottom - top) * fy;
    }

private:
    static constexpr int kW = 2048, kH = 1024;
    std::vector<double> heights_;
};

struct Colour {
    double r, g, b;
};

constexpr double kSeaLevel = 0.52;

Colour ground(double h, double latitude, double detail) {
    const double cold = std::fabs(latitude) / 90.0;
    const double sea = kSeaLevel;
    if (h < sea) {
        const double depth = std::clamp((sea - h) * 6, 0.0, 1.0);
        Colour c{0.05 + 0.05 * (1 - depth), 0.18 + 0.2 * (1 - depth), 0.45 + 0.2 * (1 - depth)};
        if (cold > 0.85) c = {0.85, 0.9, 0.95};  // sea ice
        return c;
    }
    const double land = std::clamp((h - sea) * 5, 0.0, 1.0);
    Colour c{0.25 + 0.45 * land, 0.45 + 0.15 * land - 0.2 * land * land, 0.15 + 0.1 * land};
    const double d = 0.9 + 0.2 * detail;
    c = {c.r * d, c.g * d, c.b * d};
    if (cold > 0.8 || land > 0.85) c = {0.92, 0.93, 0.95};  // ice caps and peaks
    return c;
}

// Text as a mask: glyphs of the host's panel font drawn once, read back.
struct Label {
    int width = 0, height = 0;
    std::vector<uint8_t> mask;
};

Label makeLabel(const std::string& text) {
    hostsim::Canvas canvas(hostsim::Canvas::textWidth(text.c_str()) + 2, hostsim::Canvas::textHeight(text.c_str()) + 2);
    canvas.fill({255, 255, 255});
    canvas.drawText(text.c_str(), 4137, 1, 1);
    Label label;
    label.width = canvas.width();
    label.height = canvas.height();
    for (int y = 0; y < label.height; ++y)
        for (int x = 0; x < label.width; ++x) label.mask.push_back(canvas.pixel(x, y).r < 128 ? 1 : 0);
    return label;
}

std::string coordinateText(int latitude, int longitude) {
    char text[32];
    std::snprintf(text, sizeof text, "%d%c %d%c", std::abs(latitude), latitude >= 0 ? 'N' : 'S', std::abs(longitude),
                  longitude >= 0 ? 'E' : 'W');
    return text;
}

// One grid: lines every step degrees of a width in pixels, and a label at
// each crossing, drawn at a scale, so each level of detail shows its own.
struct Grid {
    int step;
    int lineWidth;
    int labelScale;
    double strength;
};

class Generator {
public:
    Generator(int width, int height, TerrainLayer layer) : width_(width), height_(height), layer_(layer) {
        if (layer != TerrainLayer::Colour) return;  // only the demo's colour map has the grid
        const double pixelsPerDegree = width / 360.0;
        grids_ = {{30, std::max(2, static_cast<int>(pixelsPerDegree * 0.35)), std::max(1, static_cast<int>(pixelsPerDegree / 6)), 0.9},
                  {5, std::max(1, static_cast<int>(pixelsPerDegree * 0.08)), std::max(1, static_cast<int>(pixelsPerDegree / 30)), 0.6},
                  {1, std::max(1, static_cast<int>(pixelsPerDegree * 0.02)), std::max(1, static_cast<int>(pixelsPerDegree / 120)), 0.4}};
        for (const Grid& g : grids_)
            for (int lat = -90; lat < 90; lat += g.step)
                for (int lon = -180; lon < 180; lon += g.step) labels_[key(g.step, lat, lon)] = makeLabel(coordinateText(lat, lon));
    }

    // One band for the mask and the elevation, three for the colour map.
    int bands() const { return layer_ == TerrainLayer::Colour || layer_ == TerrainLayer::Land ? 3 : 1; }

    void row(int y, float** lines) const {
        if (bands() == 3)
            colourRow(y, lines[0], lines[1], lines[2]);
        else
            greyRow(y, lines[0]);
    }

private:
    // Water 1 and land 0, with a pixel-wide ramp at the coast; or the
    // height above sea level as 0 (sea) to 1 (the highest peaks).
    void greyRow(int y, float* out) const {
        const double v = (y + 0.5) / height_;
        for (int x = 0; x < width_; ++x) {
            const double u = (x + 0.5) / width_;
            const double detail = valueNoise(u * 4096, v * 2048, 4096, 99u);
            const double h = terrain_.height(u, v) + (detail - 0.5) * 0.03;
            const double value = layer_ == TerrainLayer::WaterMask
                                     ? std::clamp((kSeaLevel - h) * 400 + 0.5, 0.0, 1.0)
                                     : std::clamp((h - kSeaLevel) * 4, 0.0, 1.0);
            out[x] = static_cast<float>(value * 255);
        }
    }

    void colourRow(int y, float* r, float* g, float* b) const {
        const double v = (y + 0.5) / height_;
        const double latitude = 90 - v * 180;
        for (int x = 0; x < width_; ++x) {
            const double u = (x + 0.5) / width_;
            const double detail = valueNoise(u * 4096, v * 2048, 4096, 99u);
            const double h = terrain_.height(u, v) + (detail - 0.5) * 0.03;
            Colour c = ground(h, latitude, detail);
            r[x] = static_cast<float>(c.r * 255);
            g[x] = static_cast<float>(c.g * 255);
            b[x] = static_cast<float>(c.b * 255);
        }
        const double pixelsPerDegree = width_ / 360.0;
        for (const Grid& grid : grids_) {
            const double stepPixels = grid.step * pixelsPerDegree;
            // A latitude line through this row darkens the whole row.
            const double ry = std::fmod(y + 0.5, stepPixels);
            const bool onLatitude = ry < grid.lineWidth * 0.5 || stepPixels - ry < grid.lineWidth * 0.5;
            for (int x = 0; x < width_; ++x) {
                const double rx = std::fmod(x + 0.5, stepPixels);
                const bool onLongitude = rx < grid.lineWidth * 0.5 || stepPixels - rx < grid.lineWidth * 0.5;
                if (onLatitude || onLongitude) gridLine(r, g, b, x, grid.strength);
            }
            // Labels just below and right of each crossing.
            const int cellY = static_cast<int>((y + 0.5) / stepPixels);
            const int labelTop = static_cast<int>(cellY * stepPixels) + grid.lineWidth + grid.labelScale;
            const int ly = (y - labelTop) / grid.labelScale;
            if (y < labelTop) continue;
            // The label names the line just above it.
            const int latitude0 = 90 - cellY * grid.step;
            for (int cellX = 0; cellX * stepPixels < width_; ++cellX) {
                const int longitude = -180 + cellX * grid.step;
                auto it = labels_.find(key(grid.step, latitude0, longitude));
                if (it == labels_.end()) continue;
                const Label& label = it->second;
                if (ly >= label.height) continue;
                const int left = static_cast<int>(cellX * stepPixels) + grid.lineWidth + grid.labelScale;
                for (int lx = 0; lx < label.width; ++lx) {
                    if (!label.mask[static_cast<size_t>(ly) * label.width + lx]) continue;
                    for (int k = 0; k < grid.labelScale; ++k) {
                        const int px = left + lx * grid.labelScale + k;
                        if (px < width_) r[px] = g[px] = b[px] = 250;
                    }
                }
            }
        }
    }

    static long key(int step, int lat, int lon) { return (static_cast<long>(step) * 1000 + lat + 500) * 1000 + lon + 500; }
    // Mixes a grid line's yellow into a pixel.
    static void gridLine(float* r, float* g, float* b, int x, double keep) {
        r[x] = static_cast<float>(r[x] * (1 - keep) + 240 * keep);
        g[x] = static_cast<float>(g[x] * (1 - keep) + 200 * keep);
        b[x] = static_cast<float>(b[x] * (1 - keep) + 60 * keep);
    }

    int width_, height_;
    TerrainLayer layer_;
    Terrain terrain_;
    std::vector<Grid> grids_;
    std::map<long, Label> labels_;
};

struct Job {
    const Generator* generator;
    std::function<void(double)> progress;
    int height;
};

}  // namespace

std::string demoDataDirectory() {
    if (const char* dir = std::getenv("KORVALITH_DEMO_DATA"); dir && *dir) return dir;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) return std::string(cache) + "/korvalith";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/korvalith";
}

void writeDemoImage(const std::string& path, int width, int height, const std::function<void(double)>& progress,
                    TerrainLayer layer) {
    const Generator generator(width, height, layer);
    Job job{&generator, progress, height};
    codec::CompressClient* client = codec::compressAllocClient();
    client->inputBands = generator.bands();
    client->inputWidth = width;
    client->inputHeight = height;
    client->format = generator.bands() == 3 ? codec::CompressFormat::RGB : codec::CompressFormat::Greyscale;
    client->targetCompression = 20;
    client->encoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    client->outputFile = path;
    client->clientData = &job;
    client->readCallback = [](codec::CompressClient* c, int line, float** bands) {
        static_cast<Job*>(c->clientData)->generator->row(line, bands);
        return true;
    };
    client->statusCallback = [](codec::CompressClient* c, int line) {
        const auto* j = static_cast<Job*>(c->clientData);
        if (j->progress) j->progress(static_cast<double>(line + 1) / j->height);
    };
    codec::Status status = codec::compressOpen(client);
    if (status == codec::Status::Ok) status = codec::compressRun(client);
    if (status == codec::Status::Ok) status = codec::compressClose(client);
    const std::string why = status == codec::Status::Ok ? "" : codec::compressLastError(client);
    codec::compressFreeClient(client);
    if (status != codec::Status::Ok) throw std::runtime_error(why.empty() ? path + ": the image cannot be written" : why);
}

std::string ensureDemoImage(int width, int height, const std::function<void(double)>& progress) {
    const std::string dir = demoDataDirectory();
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/korvalith-demo-planet-v2-" + std::to_string(width) + "x" + std::to_string(height) + ".jp2";
    if (std::filesystem::exists(path)) return path;
    // Written under another name first, so an interrupted run leaves no
    // half image behind that a later run would take for finished.
    const std::string partial = path.substr(0, path.size() - 4) + ".partial.jp2";
    writeDemoImage(partial, width, height, progress);
    std::filesystem::rename(partial, path);
    return path;
}

}  // namespace korvalith::app
