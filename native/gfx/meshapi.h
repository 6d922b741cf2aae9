// The retained-mesh host functions (extensions), registered from the bridge's export table. Each
// checks and converts its arguments (bridge/args) and hands plain values to gfx/meshes.
#pragma once
#include <node_api.h>

namespace tsm::gfx {
// createMesh(blockId): the new mesh's id (0..MESH_COUNT-1), or a negative meshStatus of the
// contract: MESH_NO_BLOCK, MESH_BAD_BLOCK, MESH_STORE_FULL. A non-number fails `t == napi_number`.
napi_value createMeshApi(napi_env env, napi_callback_info info);
// releaseMesh(id): 0, or MESH_UNKNOWN for an id that holds no mesh.
napi_value releaseMeshApi(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
