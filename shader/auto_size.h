// Automatic sizing: the mapping's scale and centre from the bounding box of
// the polygons of the shader's surface.
#pragma once

namespace korvalith {

class LayerInstance;

// Finds the surface's object among the scene's objects ("Scene Objects 4")
// and sets scale and position (cached and host values) to the size and
// centre of the base positions of the surface's polygons over all layers.
// Nothing changes for instances other than shaders, without the object,
// and when the object holds no polygon of the surface.
void autoSize(LayerInstance& instance);

}  // namespace korvalith
