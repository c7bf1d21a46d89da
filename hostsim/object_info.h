// "LW Object Info 4": render values of the scene's object items.
//
// Model: an object item with a mesh answers its file name as "Scene
// Objects 4" does (the OBJ path, or the object's name for a primitive), its
// mesh's point and triangle counts, and a new mesh per meshInfo call (see
// meshes.h; the caller destroys it; frozen or not, the points are the
// mesh's, since the stand-in deforms nothing). The other values are those
// of a new LightWave object: shadow options self, cast and receive,
// subpatch levels 3 and 3, polygon size 1, and no dissolve, fog, flags,
// displacement or clip map, bones, morph, metaballs, edges or excluded
// lights. Ids that are no object item, or an object without a mesh, are
// answered with null, 0 and zero values.
#pragma once

#include "lwrender.h"

namespace hostsim {

class Host;

// Enters the service into the host's service table.
void registerObjectInfo(Host& host);
const LWObjectInfo* objectInfoTable();

}  // namespace hostsim
