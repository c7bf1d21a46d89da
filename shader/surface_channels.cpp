#include "surface_channels.h"

#include "lwshader.h"

namespace korvalith {

const char* const kSurfaceChannelNames[kSurfaceChannelCount + 1] = {
    "Colour",           "Luminosity",        "Diffuse",      "Specularity",
    "Glossiness",       "Reflection",        "Transparency", "Refraction Index",
    "Translucency",     "Bump",              "Colour Highlights", "Colour Filtering",
    "Additive Transparency", "Diffuse Sharpness", nullptr};

namespace {
struct Channel {
    const char* shortName;
    unsigned int flag;
};

const Channel kChannels[kSurfaceChannelCount] = {
    {"Colour", LWSHF_COLOR},
    {"Luminosity", LWSHF_LUMINOUS},
    {"Diffuse", LWSHF_DIFFUSE},
    {"Specularity", LWSHF_SPECULAR},
    {"Glossiness", LWSHF_ROUGH},
    {"Reflection", LWSHF_MIRROR},
    {"Transparency", LWSHF_TRANSP},
    {"Refraction", LWSHF_ETA},
    {"Translucency", LWSHF_TRANSLUCENT},
    {"Bump", LWSHF_NORMAL},
    {"Col. Highlights", LWSHF_COLOR},
    {"Col. Filtering", LWSHF_COLOR},
    {"Add. Transparency", LWSHF_COLOR},
    {"Dif. Sharpness", LWSHF_COLOR},
};

bool valid(int channel) { return channel >= 0 && channel < kSurfaceChannelCount; }
}  // namespace

const char* surfaceChannelShortName(int channel) { return valid(channel) ? kChannels[channel].shortName : "(none)"; }

unsigned int surfaceChannelFlag(int channel) { return valid(channel) ? kChannels[channel].flag : LWSHF_COLOR; }

}  // namespace korvalith
