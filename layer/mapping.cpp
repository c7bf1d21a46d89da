#include "mapping.h"

#include <cmath>
#include <cstring>

#include "host_access.h"
#include "host_channels.h"
#include "host_scene.h"
#include "lwhost.h"

namespace korvalith {

namespace {
bool inModeler() { return hostApplicationType() == LWSYS_MODELER; }
}  // namespace

// ---- ChoiceList

const char* ChoiceList::name(int i) const {
    if (i < 0 || i >= count()) return "(none)";
    return entries_[static_cast<size_t>(i)].second.c_str();
}

int ChoiceList::valueAt(int i) const {
    if (i < 0 || i >= count()) return 0;
    return entries_[static_cast<size_t>(i)].first;
}

int ChoiceList::indexOf(int value) const {
    for (int i = 0; i < count(); ++i)
        if (entries_[static_cast<size_t>(i)].first == value) return i;
    return 0;
}

// ---- ItemRef

int ItemRef::count() const {
    int n = 1;
    for (LWItemID item = scene::firstItem(type_); item; item = scene::nextItem(item)) ++n;
    return n;
}

const char* ItemRef::name(int i) const {
    if (i <= 0 || inModeler()) return "(none)";
    int k = 1;
    for (LWItemID item = scene::firstItem(type_); item; item = scene::nextItem(item), ++k)
        if (k == i) {
            const char* n = scene::itemName(item);
            return n ? n : "(none)";
        }
    return "(none)";
}

int ItemRef::get() const {
    if (!item_) return 0;
    int k = 1;
    for (LWItemID item = scene::firstItem(type_); item; item = scene::nextItem(item), ++k)
        if (item == item_) return k;
    return 0;
}

void ItemRef::set(int i) {
    item_ = nullptr;
    if (i <= 0) return;
    int k = 1;
    for (LWItemID item = scene::firstItem(type_); item; item = scene::nextItem(item), ++k)
        if (k == i) {
            item_ = item;
            return;
        }
}

void ItemRef::refreshName() {
    if (inModeler()) return;
    if (!item_) {
        name_ = "(none)";
        return;
    }
    const char* n = scene::itemName(item_);
    if (n) name_ = n;
}

void ItemRef::rebindByName() {
    if (inModeler() || name_.empty()) return;
    for (LWItemID item = scene::firstItem(type_); item; item = scene::nextItem(item)) {
        const char* n = scene::itemName(item);
        if (n && name_ == n) {
            item_ = item;
            return;
        }
    }
}

void ItemRef::copyFrom(const ItemRef& other) {
    name_ = other.name_;
    item_ = other.item_;
    type_ = other.type_;
    position_ = other.position_;
}

// ---- LayerFalloff

void LayerFalloff::make(LWChanGroupID parent) {
    group = channels::createGroup(parent, "Falloff");
    value.make(kParamDistance3, "", group, 0.0);
}

void LayerFalloff::destroy() {
    value.destroy();
    channels::destroyGroup(group);
    group = nullptr;
}

double LayerFalloff::at(const double p[3]) const {
    const double fx = value.value()[0], fy = value.value()[1], fz = value.value()[2];
    if (fx == 0 && fy == 0 && fz == 0) return 1;
    double d;
    switch (type) {
        case kCubic: d = std::fabs(fx * p[0]) + std::fabs(fy * p[1]) + std::fabs(fz * p[2]); break;
        case kSpherical:
            d = std::sqrt((fx * p[0]) * (fx * p[0]) + (fy * p[1]) * (fy * p[1]) + (fz * p[2]) * (fz * p[2]));
            break;
        case kLinearX:
            if (fx == 0) return 1;
            d = fx * p[0];
            break;
        case kLinearY:
            if (fy == 0) return 1;
            d = fy * p[1];
            break;
        case kLinearZ:
            if (fz == 0) return 1;
            d = fz * p[2];
            break;
        default: return 1;
    }
    const double f = 1 - d;
    return f < 0 ? 0 : f > 1 ? 1 : f;
}

// ---- LayerMapping

namespace {
void identity(double m[4][4]) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m[i][j] = i == j ? 1.0 : 0.0;
}

// m := m · r
void multiply(double m[4][4], const double r[4][4]) {
    double out[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += m[i][k] * r[k][j];
            out[i][j] = sum;
        }
    std::memcpy(m, out, sizeof out);
}

void normalise(double v[3]) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0)
        for (int i = 0; i < 3; ++i) v[i] /= l;
}
// m := m × R(heading, pitch, bank).
void rotate(double m[4][4], const double hpb[3]) {
    const double h = hpb[0], p = hpb[1], b = hpb[2];
    const double sH = std::sin(h), cH = std::cos(h), sP = std::sin(p), cP = std::cos(p), sB = std::sin(b),
                 cB = std::cos(b);
    double r2[4][4];
    identity(r2);
    r2[0][0] = cB * cH;
    r2[0][1] = cB * sP * sH + sB * cP;
    r2[0][2] = sB * sP - cB * cP * sH;
    r2[1][0] = -sB * cH;
    r2[1][1] = cB * cP - sB * sP * sH;
    r2[1][2] = sB * cP * sH + cB * sP;
    r2[2][0] = sH;
    r2[2][1] = -sP * cH;
    r2[2][2] = cP * cH;
    multiply(m, r2);
}
}  // namespace

LayerMapping::LayerMapping() : projection_(makeProjection(kPlanar, *this)) {
    identity(matrix);
    identity(referenceMatrix_);
}

LayerMapping::~LayerMapping() { destroy(); }

void LayerMapping::construct(LWChanGroupID group) {
    group_ = group;
    falloff.make(group);
    scaleGroup_ = channels::createGroup(group, "Scale");
    positionGroup_ = channels::createGroup(group, "Position");
    rotationGroup_ = channels::createGroup(group, "Rotation");
    opacity.make(kParamPercent, "Opacity", group, 1.0);
    scale.make(kParamDistance3, "", scaleGroup_, 1.0);
    position.make(kParamDistance3, "", positionGroup_, 0.0);
    rotation.make(kParamAngle3, "", rotationGroup_, 0.0);
    fixedTimeParam.make(kParamNumber, "FrontProjectionTime", group, 0.0);
    uTiles.make(kParamNumber, "WidthWrap", group, 1.0);
    vTiles.make(kParamNumber, "HeightWrap", group, 1.0);
    uOffset.make(kParamNumber, "UOffset", group, 0.0);
    vOffset.make(kParamNumber, "VOffset", group, 0.0);
    segLeft.make(kParamAngle, "Left", group, 0.0);
    segTop.make(kParamAngle, "Top", group, 0.0);
    segWidth.make(kParamAngle, "Width", group, 6.283185307179586);
    segHeight.make(kParamAngle, "Height", group, 3.141592653589793);
    kind_ = kPlanar;
    projection_ = makeProjection(kPlanar, *this);
}

void LayerMapping::destroy() {
    for (AnimParam* p : {&opacity, &scale, &position, &rotation, &fixedTimeParam, &uTiles, &vTiles, &uOffset,
                         &vOffset, &segLeft, &segTop, &segWidth, &segHeight})
        p->destroy();
    falloff.destroy();
    projectionChoices.clear();
    for (LWChanGroupID* g : {&scaleGroup_, &positionGroup_, &rotationGroup_}) {
        channels::destroyGroup(*g);
        *g = nullptr;
    }
}

void LayerMapping::setProjection(int kind) {
    if (kind == kind_) return;
    kind_ = kind;
    projection_ = makeProjection(kind, *this);
}

void LayerMapping::copyFrom(const LayerMapping& other) {
    if (&other == this) return;
    uTiling = other.uTiling;
    vTiling = other.vTiling;
    uTiles.copyFrom(other.uTiles);
    vTiles.copyFrom(other.vTiles);
    uOffset.copyFrom(other.uOffset);
    vOffset.copyFrom(other.vOffset);
    fixedTimeParam.copyFrom(other.fixedTimeParam);
    segLeft.copyFrom(other.segLeft);
    segTop.copyFrom(other.segTop);
    segWidth.copyFrom(other.segWidth);
    segHeight.copyFrom(other.segHeight);
    axis = other.axis;
    worldCoordinates = other.worldCoordinates;
    fixed = other.fixed;
    setProjection(other.kind_);
    opacity.copyFrom(other.opacity);
    position.copyFrom(other.position);
    scale.copyFrom(other.scale);
    rotation.copyFrom(other.rotation);
    falloff.value.copyFrom(other.falloff.value);
    falloff.type = other.falloff.type;
    referenceObject.copyFrom(other.referenceObject);
    referenceCamera.copyFrom(other.referenceCamera);
    uvMapIndex = other.uvMapIndex;
    uvMapName = other.uvMapName;
}

const LWItemID* LayerMapping::usedItems() {
    // Unset references are skipped: the host reads up to the first null.
    int n = 0;
    for (const ItemRef* ref : {&referenceObject, &referenceCamera})
        if (ref->item()) usedIds_[n++] = ref->item();
    while (n < 3) usedIds_[n++] = nullptr;
    return usedIds_;
}

void LayerMapping::changeItemIds(const LWItemID* pairs) {
    if (!pairs) return;
    for (ItemRef* ref : {&referenceObject, &referenceCamera})
        for (const LWItemID* p = pairs; p[0]; p += 2)
            if (ref->item() == p[0]) ref->setItem(p[1]);
}

void LayerMapping::refreshForTexture(double t) {
    time = t;
    for (AnimParam* p : {&uTiles, &vTiles, &uOffset, &vOffset, &fixedTimeParam}) p->evaluate(t);
    projection_->setTime(t);
}

void LayerMapping::recomputeUVMapIndex() {
    uvMapIndex = 0;
    if (uvMapName.empty()) return;
    const int n = scene::uvMapCount();
    for (int i = 0; i < n; ++i) {
        const char* name = scene::uvMapName(i);
        if (name && uvMapName == name) {
            uvMapIndex = i + 1;
            return;
        }
    }
}

void LayerMapping::refreshForShader(double t) {
    time = t;
    if (kind_ == kUV) recomputeUVMapIndex();
    for (AnimParam* p : {&scale, &position, &rotation, &falloff.value, &uOffset, &vOffset, &uTiles, &vTiles,
                         &fixedTimeParam})
        p->evaluate(t);
    projection_->setTime(t);
    updateTransform();
}

void LayerMapping::updateTransform() {
    identity(referenceMatrix_);
    if (LWItemID item = referenceObject.item()) {
        double p[3];
        if (scene::itemVector(item, scene::kPosition, time, p)) position.setCached(p);
        for (LWItemID it = item; it; it = scene::parent(it)) {
            double r[3], u[3], f[3];
            scene::itemVector(it, scene::kRight, time, r);
            scene::itemVector(it, scene::kUp, time, u);
            scene::itemVector(it, scene::kForward, time, f);
            normalise(r);
            normalise(u);
            normalise(f);
            double m[4][4];
            identity(m);
            for (int i = 0; i < 3; ++i) {
                m[i][0] = r[i];
                m[i][1] = u[i];
                m[i][2] = f[i];
            }
            multiply(referenceMatrix_, m);
        }
    }
    std::memcpy(matrix, referenceMatrix_, sizeof matrix);
    rotate(matrix, rotation.value());
}

SpotMapping LayerMapping::spotMapping() const {
    SpotMapping v;
    for (int i = 0; i < 3; ++i) {
        v.scale[i] = scale.value()[i];
        v.position[i] = position.value()[i];
        v.rotation[i] = rotation.value()[i];
    }
    v.uTiles = uTiles.x();
    v.vTiles = vTiles.x();
    v.uOffset = uOffset.x();
    v.vOffset = vOffset.x();
    v.segment[0] = segLeft.x();
    v.segment[1] = segTop.x();
    v.segment[2] = segWidth.x();
    v.segment[3] = segHeight.x();
    std::memcpy(v.matrix, matrix, sizeof matrix);
    return v;
}

void LayerMapping::spotTransform(SpotMapping& v) const {
    std::memcpy(v.matrix, referenceMatrix_, sizeof v.matrix);
    rotate(v.matrix, v.rotation);
}

bool LayerMapping::mapNode(const LWNodalAccess& access, const SpotMapping& v, ProjectionSample& s) const {
    double p[3];
    if (kind_ == kFront || kind_ == kUV) {
        for (int i = 0; i < 3; ++i) p[i] = access.wPos[i];
    } else {
        const double* from = worldCoordinates == 1 ? access.wPos : access.oPos;
        double d[3];
        for (int i = 0; i < 3; ++i) d[i] = from[i] - v.position[i];
        for (int j = 0; j < 3; ++j) {
            const double q = d[0] * v.matrix[0][j] + d[1] * v.matrix[1][j] + d[2] * v.matrix[2][j];
            p[j] = v.scale[j] != 1 ? q / v.scale[j] : q;
        }
    }
    ProjectionFrame f;
    f.axis = axis;
    for (int i = 0; i < 3; ++i) f.scale[i] = v.scale[i];
    f.segment = v.segment;
    if (!projection_->mapNode(p, spotOf(access), f, s)) return false;
    s.u = s.u * v.uTiles + v.uOffset;
    s.v = s.v * v.vTiles + v.vOffset;
    if (std::fabs(v.uTiles) != 1) s.uScale /= std::fabs(v.uTiles);
    if (std::fabs(v.vTiles) != 1) s.vScale /= std::fabs(v.vTiles);
    return true;
}

void LayerMapping::applyTilesAndOffset(ProjectionSample& s) const {
    s.u = s.u * uTiles.x() + uOffset.x();
    s.v = s.v * vTiles.x() + vOffset.x();
    // A division by one leaves the scale as it is; most mappings tile once.
    if (std::fabs(uTiles.x()) != 1) s.uScale /= std::fabs(uTiles.x());
    if (std::fabs(vTiles.x()) != 1) s.vScale /= std::fabs(vTiles.x());
}

ProjectionFrame LayerMapping::frame() const {
    ProjectionFrame f;
    f.axis = axis;
    for (int i = 0; i < 3; ++i) f.scale[i] = scale.value()[i];
    return f;
}

void LayerMapping::spotPoint(const double world[3], const double object[3], double point[3], double* falloffOut) const {
    if (kind_ == kFront || kind_ == kUV) {
        for (int i = 0; i < 3; ++i) point[i] = world[i];
        *falloffOut = falloff.at(world);
        return;
    }
    const double* from = worldCoordinates == 1 ? world : object;
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = from[i] - position.value()[i];
    *falloffOut = falloff.at(d);
    // A division by one leaves the value as it is; most mappings keep their
    // scale at one.
    const double* s = scale.value();
    for (int j = 0; j < 3; ++j) {
        const double q = d[0] * matrix[0][j] + d[1] * matrix[1][j] + d[2] * matrix[2][j];
        point[j] = s[j] != 1 ? q / s[j] : q;
    }
}

bool LayerMapping::mapPoint(const LWShaderAccess& access, ProjectionSample& s, double* falloffOut) const {
    double p[3];
    spotPoint(access.wPos, access.oPos, p, falloffOut);
    if (!projection_->mapShader(p, access, frame(), s)) return false;
    applyTilesAndOffset(s);
    return true;
}

void* LayerMapping::panelGet(unsigned int id) {
    switch (id) {
        case 0x9102: panelInt_ = projectionChoices.indexOf(kind_); return &panelInt_;
        case 0x9103: recomputeUVMapIndex(); return &uvMapIndex;
        case 0x9104: return &uTiling;
        case 0x9105: return &vTiling;
        case 0x9106: panelInt_ = fixed ? 1 : 0; return &panelInt_;
        case 0x9107: return referenceObject.positionSlot();
        case 0x9108: return referenceCamera.positionSlot();
        case 0x9109: return kind_ == kFront || kind_ == kUV ? nullptr : &worldCoordinates;
        case 0x910B: return &axis;
        case 0x910C: return scale.id();
        case 0x910D: return position.id();
        case 0x910E: return rotation.id();
        case 0x910F: return falloff.value.id();
        case 0x9110: return &falloff.type;
        case 0x9121: return segTop.id();
        case 0x9122: return segLeft.id();
        case 0x9123: return segWidth.id();
        case 0x9124: return segHeight.id();
        case 0x913B: return uTiles.id();
        case 0x913D: return vTiles.id();
        case 0x913E: return vOffset.id();
        case 0x913F: return uOffset.id();
        case 0x9145: return fixedTimeParam.id();
        default: return nullptr;
    }
}

int LayerMapping::panelSet(unsigned int id, const void* v) {
    // Envelope controls edit their parameters themselves and hand in no int.
    if (id == 0x910F || !(id == 0x9102 || id == 0x9103 || (id >= 0x9104 && id <= 0x9109) || id == 0x910B ||
                          id == 0x9110))
        return id == 0x910F ? 1 : 0;
    const int value = v ? *static_cast<const int*>(v) : 0;
    switch (id) {
        case 0x9102: setProjection(projectionChoices.valueAt(value)); return 3;
        case 0x9103:
            uvMapIndex = value;
            uvMapName.clear();
            if (value > 0)
                if (const char* name = scene::uvMapName(value - 1)) uvMapName = name;
            return 1;
        case 0x9104: uTiling = value; return 1;
        case 0x9105: vTiling = value; return 1;
        case 0x9106: fixed = value != 0; return 1;
        case 0x9107: referenceObject.set(value); return 1;
        case 0x9108: referenceCamera.set(value); return 1;
        case 0x9109: worldCoordinates = value; return 1;
        case 0x910B: axis = value; return 1;
        case 0x910F: return 1;
        case 0x9110: falloff.type = value; return 1;
        default: return 0;
    }
}

}  // namespace korvalith
