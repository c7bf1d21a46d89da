// Brightness, contrast, hue, saturation, gamma and invert of a layer's
// values, as animated parameters in their own channel group.
#pragma once

#include <atomic>

#include "anim_param.h"
#include "colour_settings.h"

namespace korvalith {

// The correction settings in force for one evaluation, with their flags.
struct CorrectionValues {
    float brightness = 1, contrast = 1, hue = 0, saturation = 1;
    float inverseGamma = 1;
    bool adjust = false, gammaActive = false, invert = false;

    // The flags as a time change computes them from the five numbers.
    static CorrectionValues from(double brightness, double contrast, double hue, double saturation, double gamma,
                                 bool invert);
};

// Hue, saturation and value adjustment, then gamma per channel, then the
// inversion; each step only where its flag is set. Single precision.
void correctColour(const CorrectionValues& values, float rgb[3]);
float correctScalar(const CorrectionValues& values, float x);

class SimpleColourCorrection final : public ColourSettings {
public:
    SimpleColourCorrection() = default;
    ~SimpleColourCorrection() override { destroy(); }

    // Creates the group "SimpleColourCorrection" under parent and its parameters.
    void make(LWChanGroupID parent);
    // Creates the parameters directly in group, which stays its owner's,
    // set up for the named plug-in.
    void makeIn(LWChanGroupID group, const char* plugin);
    void destroy();

    void updateCorrection(double time);
    // The settings and flags of the last time change or panel edit.
    CorrectionValues values() const;
    void correctColour(float rgb[3]) const override;
    float correctScalar(float x) const override;
    // The "Default" button: neutral settings, invert left alone.
    void resetCorrection();
    void copyFrom(const SimpleColourCorrection& other);
    // Panel values of 0x9147 … 0x914C; null for other ids.
    void* panelGet(unsigned int id);
    void markChanged() { changed_.store(true, std::memory_order_relaxed); }

    bool changed() const override { return changed_.load(std::memory_order_relaxed); }
    void clearChanged() override { changed_.store(false, std::memory_order_relaxed); }

    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state) const;

    AnimParam brightness, contrast, hue, saturation, gamma;
    bool invert = false;
    bool gammaActive = false;
    bool adjustActive = false;
    float inverseGamma = 1.0f;

private:
    void makeParameters(LWChanGroupID group, const char* plugin);

    std::atomic<bool> changed_{true};
    LWChanGroupID group_ = nullptr;
    int invertSlot_ = 0;
};

// HSV (hue in radians) to RGB, single precision.
void hsvToRgb(float h, float s, float v, float rgb[3]);

}  // namespace korvalith
