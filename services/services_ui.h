// What the core services draw and show: the logo, the about box.
#pragma once

#include "lwxpanel.h"

namespace korvalith {

// The host's drawing functions for panel areas, or null.
const LWXPDrawFuncs* drawFunctions();

// White area with the built-in picture centred and the version texts at
// the top right.
void drawLogo(LWXPDrAreaID area, int width, int height);

// The about box: the picture above the version, the extra text and what
// the image core holds now.
void showAbout(const char* title, const char* text);

}  // namespace korvalith
