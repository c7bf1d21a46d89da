// The instance of the "ShaderHandler" server: a layer instance that paints
// one channel of a host surface (colour, a scalar channel or the bump) from
// its image, placed by the whole mapping and blended in with a strength.
#pragma once

#include <memory>

#include "layer_instance.h"
#include "lwshader.h"
#include "lwsurf.h"
#include "uv_map_list.h"

namespace korvalith {

namespace slots {
// Held by the shaders while they ask about their surface.
inline ServiceSlot surfaceFuncs{LWSURFACEFUNCS_GLOBAL};
}  // namespace slots

class ShaderInstance final : public LayerInstance {
public:
    // The instance of a surface; null when the layer cannot be set up (a
    // host service is missing).
    static ShaderInstance* create(void* surface);
    ~ShaderInstance() override;

    // Mapping refresh and frame preparation; nothing without an image.
    LWError newTime(LWFrame frame, LWTime time) override;
    // "KVP:<channel> - <image name>", or the product line without an image.
    const char* description() override;
    // The texture of the surface's base colour.
    LWTextureID targetTexture() const override;

    // Blends the image into the surface channel of the spot. Reads only the
    // instance and writes only the access record, from any thread.
    void evaluate(LWShaderAccess& access) const;
    unsigned int flags() const;

    LWSurfaceID surface() const { return static_cast<LWSurfaceID>(context_); }
    UVMapList& uvMaps() { return *uvMaps_; }

private:
    ShaderInstance();
    // The world size of the spot before the projection and the quality.
    double spotFootprint(const LWShaderAccess& access) const;
    void bump(LWShaderAccess& access, const ProjectionSample& sample, const double uv[2], double footprint,
              double amount) const;

    std::unique_ptr<UVMapList> uvMaps_;
};

}  // namespace korvalith
