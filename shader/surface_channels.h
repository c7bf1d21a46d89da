// The surface channels a shader can drive: what the "Surface Channel" popup
// lists, the short name of the description line and the flag the shader
// reports to the host for each.
#pragma once

namespace korvalith {

enum SurfaceChannel : int {
    kChannelColour = 0,
    kChannelLuminosity = 1,
    kChannelDiffuse = 2,
    kChannelSpecularity = 3,
    kChannelGlossiness = 4,
    kChannelReflection = 5,
    kChannelTransparency = 6,
    kChannelRefraction = 7,
    kChannelTranslucency = 8,
    kChannelBump = 9,
    kChannelColourHighlights = 10,
    kChannelColourFiltering = 11,
    kChannelAdditiveTransparency = 12,
    kChannelDiffuseSharpness = 13,
    kSurfaceChannelCount = 14,
};

// The popup's names in channel order, ended by null.
extern const char* const kSurfaceChannelNames[kSurfaceChannelCount + 1];

// The description's name of a channel; "(none)" outside the channels.
const char* surfaceChannelShortName(int channel);

// What a shader of the channel changes, as its flags answer; the colour
// flag for the channels the host has no flag of their own for, and for
// values outside the channels.
unsigned int surfaceChannelFlag(int channel);

}  // namespace korvalith
