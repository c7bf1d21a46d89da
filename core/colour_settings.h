// Colour settings a preview is drawn with. The layer's colour correction
// implements it; the core only asks it to correct and whether it changed.
#pragma once

namespace korvalith {

class ColourSettings {
public:
    virtual ~ColourSettings() = default;
    // True when the settings changed since the flag was last cleared.
    virtual bool changed() const = 0;
    virtual void clearChanged() = 0;
    virtual void correctColour(float rgb[3]) const = 0;
    virtual float correctScalar(float value) const = 0;
};

}  // namespace korvalith
