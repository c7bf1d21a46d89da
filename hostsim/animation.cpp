#include "animation.h"

#include "host.h"

namespace hostsim {

Animation::Animation() = default;
Animation::~Animation() = default;

void Animation::registerWith(Host&) {}

}  // namespace hostsim
