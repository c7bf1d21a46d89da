// An RGB canvas that plug-in drawing code paints into: the drawing area of
// "LWXPanel" draw callbacks and the picture of a shown classic panel.
// Drawing clips to the canvas; text is recorded and drawn with a small
// built-in font of fixed metrics. A canvas can be written as PNG or PPM for
// a person to look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lwxpanel.h"

namespace hostsim {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct DrawnText {
    std::string text;
    int colour;  // host palette index
    int x, y;
    bool operator==(const DrawnText&) const = default;
};

// The colour a host palette index draws text in.
Rgb paletteColour(int index);

class Canvas {
public:
    // Font metrics of all host drawing.
    static constexpr int kCharWidth = 7;
    static constexpr int kLineHeight = 12;
    // Largest side a canvas may have; larger requests are cut to it.
    static constexpr int kMaxSide = 8192;

    Canvas(int width, int height);  // black
    Canvas(const Canvas& other);
    Canvas& operator=(const Canvas& other);
    ~Canvas();

    // The handle to give plug-in code as its drawing area; valid while the
    // canvas lives.
    LWXPDrAreaID area() { return static_cast<LWXPDrAreaID>(this); }
    // The live canvas behind a handle, or null.
    static Canvas* fromArea(LWXPDrAreaID area);
    // "LWXPanel"'s drawing functions over canvases.
    static const LWXPDrawFuncs* drawFuncs();

    int width() const { return width_; }
    int height() const { return height_; }
    // Black outside the canvas.
    Rgb pixel(int x, int y) const;
    const std::vector<uint8_t>& rgb() const { return rgb_; }  // rows top-down, 3 bytes per pixel
    const std::vector<DrawnText>& texts() const { return texts_; }
    // Pixels of exactly this colour.
    long count(Rgb colour) const;

    void fill(Rgb colour);
    void setPixel(int x, int y, Rgb colour);
    void fillBox(int x, int y, int w, int h, Rgb colour);
    void drawText(const char* text, int colour, int x, int y);
    // In a colour the caller resolved; recorded under the colour it was
    // asked for.
    void drawText(const char* text, int colour, Rgb rgb, int x, int y);
    static int textWidth(const char* text);
    static int textHeight(const char* text);

    bool writePNG(const std::string& path) const;
    bool writePPM(const std::string& path) const;

private:
    void drawGlyph(unsigned char c, int x, int y, Rgb colour);

    int width_;
    int height_;
    std::vector<uint8_t> rgb_;
    std::vector<DrawnText> texts_;
};

// The whole "LWXPanel" table: its version, the drawing functions above and
// the panel functions of XPanels (defined in xpanels.cpp).
const LWXPanelFuncs* xpanelFuncs();

// Clamps a colour component to 0 … 255.
uint8_t colourComponent(int v);

}  // namespace hostsim
