// Typings of lib/gltf.js: glTF 2.0 models read into plain arrays.
export type ModelErrorCode = 'EMODEL_READ' | 'EMODEL_SYNTAX' | 'EMODEL_SCHEMA' | 'EMODEL_RANGE' | 'EMODEL_NONFINITE'
  | 'EMODEL_DATA' | 'EMODEL_CYCLE' | 'EMODEL_UNSUPPORTED' | 'EMODEL_EMPTY';
export interface ModelError extends Error { code: ModelErrorCode; file: string }

/** One primitive as a triangle list: every three vertices are a triangle, counter-clockwise outside. */
export interface ModelPrimitive {
  vertexCount: number;
  positions: Float32Array;            // 3 per vertex
  normals: Float32Array;              // 3 per vertex (flat when the file has none)
  uvs: Float32Array | null;           // 2 per vertex, of the base colour texture's set; v from the image's top
  colors: Float32Array | null;        // 4 per vertex (rgba)
  joints: Uint16Array | null;         // 4 per vertex, indices into the node's skin's joints
  weights: Float32Array | null;       // 4 per vertex
  material: number;                   // index into materials, or -1
}
export interface ModelMesh { name: string; primitives: ModelPrimitive[] }
export interface ModelMaterial {
  name: string; baseColor: Float32Array; texture: number; texCoord: number; metallic: number; roughness: number;
  emissive: Float32Array; alphaMode: 'OPAQUE' | 'MASK' | 'BLEND'; doubleSided: boolean;
}
export interface ModelImage { name: string; mimeType: string; bytes: Uint8Array; path: string | null }
export interface ModelNode {
  name: string; parent: number; children: number[]; mesh: number; skin: number;
  translation: Float32Array; rotation: Float32Array; scale: Float32Array;
  matrix: Float32Array;               // local, column-major
  hasMatrix: boolean;                 // the file gave a matrix rather than TRS
}
export interface ModelSkin { name: string; joints: Uint32Array; inverseBindMatrices: Float32Array; skeleton: number }
export interface ModelChannel {
  node: number; path: 'translation' | 'rotation' | 'scale'; interpolation: 'STEP' | 'LINEAR' | 'CUBICSPLINE';
  times: Float32Array; values: Float32Array;
}
export interface ModelAnimation { name: string; duration: number; channels: ModelChannel[] }
export interface Model {
  file: string; scene: number; roots: number[]; nodes: ModelNode[]; meshes: ModelMesh[]; materials: ModelMaterial[];
  images: ModelImage[]; skins: ModelSkin[]; animations: ModelAnimation[]; warnings: string[];
}

/** Reads a .gltf (with its files or data URIs) or .glb; rejects with a ModelError. */
export function loadModel(file: string): Promise<Model>;
/** A file path of the model's image `index` (its own file, or its bytes written to a temporary file). */
export function imageFile(model: Model, index: number): string;
export const MAX_MODEL_BYTES: number;
