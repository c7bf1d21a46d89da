#include "services_ui.h"

#include <string>
#include <vector>

#include "byte_size.h"
#include "host_access.h"
#include "info_panel.h"
#include "logo_picture.h"
#include "registry.h"

namespace korvalith {

const LWXPDrawFuncs* drawFunctions() {
    auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    return xpanel ? xpanel->drawf : nullptr;
}

void drawLogo(LWXPDrAreaID area, int width, int height) {
    const LWXPDrawFuncs* draw = drawFunctions();
    if (!draw) return;
    draw->drawRGBBox(area, 255, 255, 255, 0, 0, width, height);
    const int left = (width - kLogoWidth) / 2;
    const int top = (height - kLogoHeight) / 2;
    // Stored rows run from the bottom row up; pixels are blue, green, red.
    const unsigned char* pixel = kLogoPicture;
    for (int n = kLogoHeight; n >= 1; --n)
        for (int i = 0; i < kLogoWidth; ++i, pixel += 3)
            draw->drawRGBPixel(area, pixel[2], pixel[1], pixel[0], left + i, top + n);
    // The drawing functions take writable text; they do not write to it.
    char version[] = "V1.0.5a (Win64)";
    char date[] = "Aug 18 2006";
    draw->drawText(area, version, 4137, width - draw->textWidth(area, version) - 4, 4);
    draw->drawText(area, date, 4137, width - draw->textWidth(area, date) - 4, draw->textHeight(area, date) + 8);
}

void showAbout(const char* title, const char* text) {
    ImageRegistry& registry = ImageRegistry::instance();
    std::vector<std::string> lines{"Korvalith Pro V1.0.5a (Win64) Aug 18 2006",
                                   "Textures from JPEG 2000 images far larger than memory."};
    if (text && *text) lines.push_back(text);
    lines.push_back("Images loaded: " + std::to_string(registry.imageCount()));
    lines.push_back("Memory used by images: " + formatByteSize(registry.memoryUsed(nullptr)));
    std::vector<const char*> pointers;
    for (const std::string& line : lines) pointers.push_back(line.c_str());
    pointers.push_back(nullptr);
    showInfoPanel(title ? title : "About Korvalith Pro", pointers.data());
}

}  // namespace korvalith
