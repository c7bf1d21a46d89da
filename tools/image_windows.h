// The small read-only windows the layer panels and the browser share: image
// information, the report after freeing cached memory, and the about box.
#pragma once

#include "core_services.h"

namespace korvalith {

void showImageInformation(const CoreServices& core, KorvalithImage* image);
void releaseMemoryReport(const CoreServices& core);
void showAboutBox(const CoreServices& core);

}  // namespace korvalith
