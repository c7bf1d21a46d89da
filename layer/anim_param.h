// An animated host parameter ("LWVParmFuncs 2") with a cached value.
//
// The cached value changes only through evaluate, setValue, reset and
// copyFrom, so evaluation threads read a value that the time change fixed
// for the frame while the host parameter itself may be edited in a panel.
#pragma once

#include <memory>

#include "host_access.h"
#include "lwvparm.h"

namespace korvalith {

// Kinds of parameter the layers make.
enum ParamKind : int {
    kParamNumber = LWVP_FLOAT,
    kParamPercent = LWVP_PERCENT,
    kParamDistance3 = LWVP_DIST | LWVPF_VECTOR,
    kParamAngle = LWVP_ANGLE,
    kParamAngle3 = LWVP_ANGLE | LWVPF_VECTOR,
    kParamColour = LWVP_COLOR,
};

// The plug-in name the parameters of KorvalithPro's layers are set up with.
inline constexpr char kPluginName[] = "KorvalithPro";

class AnimParam {
public:
    AnimParam() = default;
    AnimParam(const AnimParam&) = delete;
    AnimParam& operator=(const AnimParam&) = delete;
    ~AnimParam() { destroy(); }

    // Creates the host parameter with the value (d, d, d) and names it in
    // group, set up for the named plug-in.
    void make(int kind, const char* name, LWChanGroupID group, double d, const char* plugin = kPluginName);
    void evaluate(double time);
    void setValue(double x, double y, double z);
    void setValue(double v) { setValue(v, v, v); }
    // Changes the cached value only; the host parameter keeps its own.
    void setCached(const double v[3]) {
        value_[0] = v[0];
        value_[1] = v[1];
        value_[2] = v[2];
    }
    // Drops an envelope, then sets the value.
    void reset(double x, double y, double z);
    void copyFrom(const AnimParam& other);
    // The host's own load and save; load leaves the cached value alone.
    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state) const;
    void destroy();

    LWVParmID id() const { return parameter_; }
    const double* value() const { return value_; }
    double x() const { return value_[0]; }

private:
    const LWVParmFuncs* funcs() const;

    std::unique_ptr<HostService<LWVParmFuncs>> service_;
    double value_[3] = {0, 0, 0};
    LWVParmID parameter_ = nullptr;
};

}  // namespace korvalith
