#include "canvas.h"

#include <stb/stb_easy_font.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace hostsim {

namespace {

std::mutex g_liveMutex;
std::set<const Canvas*> g_live;

void track(const Canvas* c) {
    std::lock_guard lock(g_liveMutex);
    g_live.insert(c);
}
void untrack(const Canvas* c) {
    std::lock_guard lock(g_liveMutex);
    g_live.erase(c);
}

int clampSide(int v) { return std::clamp(v, 0, Canvas::kMaxSide); }

void drawRGBPixel(LWXPDrAreaID area, int r, int g, int b, int x, int y) {
    if (Canvas* c = Canvas::fromArea(area)) c->setPixel(x, y, {colourComponent(r), colourComponent(g), colourComponent(b)});
}
void drawRGBBox(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h) {
    if (Canvas* c = Canvas::fromArea(area))
        c->fillBox(x, y, w, h, {colourComponent(r), colourComponent(g), colourComponent(b)});
}
int textWidth(LWXPDrAreaID, const char* text) { return Canvas::textWidth(text); }
int textHeight(LWXPDrAreaID, const char* text) { return Canvas::textHeight(text); }
void drawText(LWXPDrAreaID area, const char* text, int colour, int x, int y) {
    if (Canvas* c = Canvas::fromArea(area)) c->drawText(text, colour, x, y);
}

const LWXPDrawFuncs kDrawFuncs{drawRGBPixel, drawRGBBox, textWidth, textHeight, drawText};

}  // namespace

uint8_t colourComponent(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

Rgb paletteColour(int index) {
    switch (index) {
        case 4137: return {16, 16, 16};  // panel text
        case 4096: return {112, 112, 112};  // panel background
        default: return {0, 0, 0};
    }
}

Canvas::Canvas(int width, int height)
    : width_(clampSide(width)), height_(clampSide(height)), rgb_(size_t(width_) * size_t(height_) * 3, 0) {
    track(this);
}

Canvas::Canvas(const Canvas& other)
    : width_(other.width_), height_(other.height_), rgb_(other.rgb_), texts_(other.texts_) {
    track(this);
}

Canvas& Canvas::operator=(const Canvas& other) {
    width_ = other.width_;
    height_ = other.height_;
    rgb_ = other.rgb_;
    texts_ = other.texts_;
    return *this;
}

Canvas::~Canvas() { untrack(this); }

Canvas* Canvas::fromArea(LWXPDrAreaID area) {
    auto* c = reinterpret_cast<Canvas*>(area);
    std::lock_guard lock(g_liveMutex);
    return g_live.count(c) ? c : nullptr;
}

const LWXPDrawFuncs* Canvas::drawFuncs() { return &kDrawFuncs; }

Rgb Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    const size_t i = (size_t(y) * size_t(width_) + size_t(x)) * 3;
    return {rgb_[i], rgb_[i + 1], rgb_[i + 2]};
}

long Canvas::count(Rgb colour) const {
    long n = 0;
    for (size_t i = 0; i + 2 < rgb_.size(); i += 3)
        if (rgb_[i] == colour.r && rgb_[i + 1] == colour.g && rgb_[i + 2] == colour.b) ++n;
    return n;
}

void Canvas::fill(Rgb colour) { fillBox(0, 0, width_, height_, colour); }

void Canvas::setPixel(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const size_t i = (size_t(y) * size_t(width_) + size_t(x)) * 3;
    rgb_[i] = colour.r;
    rgb_[i + 1] = colour.g;
    rgb_[i + 2] = colour.b;
}

void Canvas::fillBox(int x, int y, int w, int h, Rgb colour) {
    if (w <= 0 || h <= 0) return;
    // In 64 bits, so that huge sizes cannot overflow.
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + w, width_), y1 = std::min<int64_t>(int64_t(y) + h, height_);
    for (int64_t yy = y0; yy < y1; ++yy)
        for (int64_t xx = x0; xx < x1; ++xx) setPixel(int(xx), int(yy), colour);
}

int Canvas::textWidth(const char* text) { return text ? kCharWidth * static_cast<int>(std::strlen(text)) : 0; }

int Canvas::textHeight(const char*) { return kLineHeight; }

void Canvas::drawText(const char* text, int colour, int x, int y) { drawText(text, colour, paletteColour(colour), x, y); }

void Canvas::drawText(const char* text, int colour, Rgb rgb, int x, int y) {
    if (!text) return;
    texts_.push_back({text, colour, x, y});
    int cx = x;
    for (const char* p = text; *p; ++p, cx += kCharWidth) {
        if (cx >= width_) break;
        drawGlyph(static_cast<unsigned char>(*p), cx, y, rgb);
    }
}

void Canvas::drawGlyph(unsigned char c, int x, int y, Rgb colour) {
    if (c == ' ') return;
    if (c < 33 || c > 126) {
        // No glyph: an outlined box in the cell.
        fillBox(x + 1, y + 2, 5, 1, colour);
        fillBox(x + 1, y + 9, 5, 1, colour);
        fillBox(x + 1, y + 2, 1, 8, colour);
        fillBox(x + 5, y + 2, 1, 8, colour);
        return;
    }
    // The font builds a glyph from axis-aligned quads (16 bytes a vertex).
    float quads[4 * 4 * 64];
    char s[2] = {static_cast<char>(c), 0};
    const int n = stb_easy_font_print(0, 0, s, nullptr, quads, sizeof quads);
    for (int q = 0; q < n; ++q) {
        const float* v = quads + q * 16;
        const int x0 = int(v[0]), y0 = int(v[1]);
        const int x1 = int(v[8]), y1 = int(v[9]);
        fillBox(x + std::min(x0, x1), y + 1 + std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0), colour);
    }
}

bool Canvas::writePNG(const std::string& path) const {
    if (width_ == 0 || height_ == 0) return false;
    return stbi_write_png(path.c_str(), width_, height_, 3, rgb_.data(), width_ * 3) != 0;
}

bool Canvas::writePPM(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width_, height_);
    const bool written = std::fwrite(rgb_.data(), 1, rgb_.size(), f) == rgb_.size();
    return (std::fclose(f) == 0) && written;
}

}  // namespace hostsim
