// The meshes the host hands plug-ins ("Scene Objects 4" layerMesh, "LW
// Object Info 4" meshInfo): an LWMeshInfo over one of the geometry's
// meshes, which its caller destroys.
//
// Model:
// - Points are the mesh's vertices and polygons its triangles, in the
//   mesh's order; their ids are pointId and polygonId of the index (the
//   index + 1 as a pointer value, so no id is null). Every polygon is a
//   three-sided LWPOLTYPE_FACE whose LWPTAG_SURF tag is the surface name
//   the mesh was made with; polygons have no other tags and no flags.
// - Base and other positions are the vertex positions as floats (the
//   stand-in deforms nothing, so a frozen mesh is the same).
// - The mesh's UV map (Mesh::uvMap) is its only vertex map: pntVLookup
//   answers it for LWVMAP_TXUV and its name, null for anything else;
//   pntVSelect answers its dimension, 2 (0 for another handle, which
//   selects nothing). pntVGet reads the selected map: a vertex's uv and 1
//   where the map holds one, 0 otherwise (and for no selection).
//   There are no discontinuous values: pntVPGet and pntVPIDGet answer 0.
// - Ids and handles from another mesh, null or out of range are answered
//   with 0, null and zero positions; scans stop at the first non-zero
//   answer of the callback and answer it.
// - Each LWMeshInfo holds its own reference to the mesh, so it stays valid
//   whatever the scene does until it is destroyed, and render threads may
//   use meshes of their own at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "geometry.h"
#include "lwmeshes.h"

namespace hostsim {

LWMeshInfo* makeMeshInfo(std::shared_ptr<const Mesh> mesh, const std::string& surfaceName);

LWPntID pointId(uint32_t vertex);
LWPolID polygonId(uint32_t triangle);
// The index of an id; UINT32_MAX for null (or any id beyond the indices).
uint32_t pointIndex(LWPntID point);
uint32_t polygonIndex(LWPolID polygon);

}  // namespace hostsim
