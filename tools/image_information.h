// The lines that describe an image: name, file, type, size, raw size and
// compression, memory held.
#pragma once

#include <string>
#include <vector>

#include "core_services.h"

namespace korvalith {

std::vector<std::string> imageInformationLines(const CoreServices& core, KorvalithImage* image);

}  // namespace korvalith
