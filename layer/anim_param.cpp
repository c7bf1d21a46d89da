#include "anim_param.h"

#include "lwserver.h"

namespace korvalith {

const LWVParmFuncs* AnimParam::funcs() const { return service_ ? service_->table() : nullptr; }

void AnimParam::make(int kind, const char* name, LWChanGroupID group, double d, const char* plugin) {
    destroy();
    service_ = std::make_unique<HostService<LWVParmFuncs>>(slots::vparm);
    value_[0] = value_[1] = value_[2] = d;
    const LWVParmFuncs* f = funcs();
    if (!f) return;
    parameter_ = f->create(kind, LWVPDT_NOTXTR);
    if (!parameter_) return;
    f->setup(parameter_, name, group, nullptr, nullptr, plugin, nullptr);
    f->setVal(parameter_, value_);
}

void AnimParam::evaluate(double time) {
    const LWVParmFuncs* f = funcs();
    if (f && parameter_) f->getVal(parameter_, time, nullptr, value_);
}

void AnimParam::setValue(double x, double y, double z) {
    value_[0] = x;
    value_[1] = y;
    value_[2] = z;
    const LWVParmFuncs* f = funcs();
    if (f && parameter_) f->setVal(parameter_, value_);
}

void AnimParam::reset(double x, double y, double z) {
    const LWVParmFuncs* f = funcs();
    if (f && parameter_) f->setState(parameter_, 0);
    setValue(x, y, z);
}

void AnimParam::copyFrom(const AnimParam& other) {
    if (&other == this) return;
    const LWVParmFuncs* f = funcs();
    if (f && parameter_ && other.parameter_) f->copy(parameter_, other.parameter_);
    value_[0] = other.value_[0];
    value_[1] = other.value_[1];
    value_[2] = other.value_[2];
}

LWError AnimParam::load(const LWLoadState* state) {
    const LWVParmFuncs* f = funcs();
    if (!f || !parameter_) return nullptr;
    return f->load(parameter_, state);
}

LWError AnimParam::save(const LWSaveState* state) const {
    const LWVParmFuncs* f = funcs();
    if (!f || !parameter_) return nullptr;
    return f->save(parameter_, state);
}

void AnimParam::destroy() {
    const LWVParmFuncs* f = funcs();
    if (f && parameter_) f->destroy(parameter_);
    parameter_ = nullptr;
    service_.reset();
}

}  // namespace korvalith
