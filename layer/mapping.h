// Mapping settings of a layer: projection kind and object, axis, tiling,
// tiles and offsets, transform, falloff, reference items, the front
// projection's time, the UV map and the spherical section's segment.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "anim_param.h"
#include "lwenvel.h"
#include "lwrender.h"
#include "lwnodes.h"
#include "lwshader.h"
#include "projection.h"

namespace korvalith {

// Ordered (value, name) pairs behind a popup.
class ChoiceList {
public:
    int count() const { return static_cast<int>(entries_.size()); }
    const char* name(int i) const;
    void add(const char* name, int value) { entries_.emplace_back(value, name); }
    int valueAt(int i) const;
    // First position holding the value; 0 when none does.
    int indexOf(int value) const;
    void clear() { entries_.clear(); }

private:
    std::vector<std::pair<int, std::string>> entries_;
};

// A reference to a scene item of one type, kept by id and name, behind a popup
// that lists "(none)" and the scene's items of that type.
class ItemRef {
public:
    explicit ItemRef(int type) : type_(type) {}
    int count() const;
    const char* name(int i) const;
    // 1-based position of the item in the scene's order; 0 for none or not found.
    int get() const;
    void set(int i);
    // The stored name refreshed from the host (not in Modeler): the item's
    // name, or "(none)" without an item.
    void refreshName();
    // After loading: a stored name found among the items of the stored type
    // replaces the stored id (not in Modeler).
    void rebindByName();
    void copyFrom(const ItemRef& other);

    int type() const { return type_; }
    LWItemID item() const { return item_; }
    void setItem(LWItemID item) { item_ = item; }
    const std::string& itemName() const { return name_; }
    void setItemName(std::string name) { name_ = std::move(name); }
    void setType(int type) { type_ = type; }
    // The popup position, refreshed, in a slot the panel reads.
    int* positionSlot() {
        position_ = get();
        return &position_;
    }

private:
    int type_;
    LWItemID item_ = nullptr;
    std::string name_;
    int position_ = 0;
};

// Attenuation with distance from the mapping's centre.
class LayerFalloff {
public:
    enum Type { kCubic = 0, kSpherical = 1, kLinearX = 2, kLinearY = 3, kLinearZ = 4 };
    void make(LWChanGroupID parent);
    void destroy();
    // 1 when there is no falloff, else clamp(1 − d, 0, 1).
    double at(const double p[3]) const;

    int type = kCubic;
    AnimParam value;  // per-axis factors
    LWChanGroupID group = nullptr;
};

// The mapping values in force for one spot: the cached values, which a
// texture node's connected inputs may replace for that spot alone. It lives
// on the evaluating thread's stack, so no spot's values reach another.
struct SpotMapping {
    double scale[3], position[3], rotation[3];
    double uTiles, vTiles, uOffset, vOffset;
    double segment[4];  // left, top, width, height (radians)
    double matrix[4][4];
};

class LayerMapping {
public:
    LayerMapping();
    ~LayerMapping();
    LayerMapping(const LayerMapping&) = delete;
    LayerMapping& operator=(const LayerMapping&) = delete;

    void construct(LWChanGroupID group);
    void destroy();
    void setProjection(int kind);
    void copyFrom(const LayerMapping& other);
    // The ids of the set references (object first, then camera), ended by
    // null; rebuilt at each call.
    const LWItemID* usedItems();
    // Pairs of old and new ids, ended by a null old id.
    void changeItemIds(const LWItemID* pairs);
    void refreshForTexture(double time);
    void refreshForShader(double time);
    void updateTransform();
    // Tiles and offsets of the cached values, and the footprint scales.
    void applyTilesAndOffset(ProjectionSample& sample) const;
    // The axis and cached scale that the shader's and node's calls hand to
    // the projection.
    ProjectionFrame frame() const;
    // The point a shaded spot gives the projection, and the falloff there:
    // Front and UV take the world position as it is (the falloff too); the
    // other kinds the world (world coordinates on) or object position less
    // the centre, rotated by the matrix and divided by the scale, with the
    // falloff of the centred point.
    void spotPoint(const double world[3], const double object[3], double point[3], double* falloff) const;
    // The shader's whole mapping of a spot: its point, the projection's
    // shader entry, tiles and offsets. False when the projection rejects it.
    bool mapPoint(const LWShaderAccess& access, ProjectionSample& sample, double* falloff) const;

    // The cached values and transform, for a spot to override.
    SpotMapping spotMapping() const;
    // The spot's matrix from its rotation, after the reference object's axes
    // as the last transform update found them.
    void spotTransform(SpotMapping& values) const;
    // The node's whole mapping of a spot with the spot's values: its point
    // (as spotPoint, without a falloff), the projection's node entry, tiles
    // and offsets. False when the projection rejects it.
    bool mapNode(const LWNodalAccess& access, const SpotMapping& values, ProjectionSample& sample) const;
    // Panel values of the mapping's controls: a pointer to an int, a
    // parameter id, or null for none.
    void* panelGet(unsigned int id);
    int panelSet(unsigned int id, const void* value);
    // UV map index from the stored name among the host's UV maps.
    void recomputeUVMapIndex();

    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state);

    const Projection& projection() const { return *projection_; }
    Projection& projection() { return *projection_; }
    int projectionKind() const { return kind_; }

    double matrix[4][4];
    int axis = 0;
    int worldCoordinates = 0;
    int uTiling = 1, vTiling = 1;
    AnimParam uTiles, vTiles, uOffset, vOffset;
    bool fixed = false;
    double time = 0;
    AnimParam fixedTimeParam;
    int uvMapIndex = 0;
    std::string uvMapName;
    AnimParam opacity, position, scale, rotation;
    AnimParam segLeft, segTop, segWidth, segHeight;
    LayerFalloff falloff;
    ChoiceList projectionChoices;
    ItemRef referenceObject{LWI_OBJECT};
    ItemRef referenceCamera{LWI_CAMERA};

    // Accessors the projections read.
    bool fixedProjection() const { return fixed; }
    const AnimParam& fixedTime() const { return fixedTimeParam; }
    AnimParam& segmentTop() { return segTop; }
    AnimParam& segmentLeft() { return segLeft; }
    AnimParam& segmentWidth() { return segWidth; }
    AnimParam& segmentHeight() { return segHeight; }
    const ItemRef& referenceCameraRef() const { return referenceCamera; }

private:
    LWChanGroupID group_ = nullptr;
    LWChanGroupID scaleGroup_ = nullptr, positionGroup_ = nullptr, rotationGroup_ = nullptr;
    int kind_ = kPlanar;
    std::unique_ptr<Projection> projection_;
    LWItemID usedIds_[3] = {nullptr, nullptr, nullptr};
    double referenceMatrix_[4][4];  // the reference object's axes, before the rotation
    int panelInt_ = 0;
};

}  // namespace korvalith
