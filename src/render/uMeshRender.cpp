// The 3D mesh renderer.
#include "render/uMeshRender.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <type_traits>

#include "model3d/uAtomModel.h"
#include "render/uLighting.h"
#include "render/uOpenGL.h"
#include "render/uSphereRender.h"
#include "support/uDebugLog.h"

namespace pelorin {
namespace {

enum TBufferIndex { kMeshBuffer, kShadowBuffer, kIndexBuffer, kBufferCount };
static_assert(std::extent_v<decltype(TModelObjects::MeshBuffers)> == kBufferCount, "one name a buffer");
static_assert(std::is_same_v<GLuint, uint32_t>, "buffer names are kept as uint32_t");

// Vertices converted per piece of an upload: the buffers are filled piece by piece, so the
// upload needs no second copy of the model beside the arrays and the driver's.
constexpr size_t kUploadPieceVertices = 1 << 16;

// Sizes the bound buffer for `count` items of `itemBytes` and fills it piece by piece;
// `fill(first, n, out)` writes items first..first+n-1 into out.
template <typename TItem, typename TFill>
void UploadInPieces(const TGLFunctions& gl, size_t count, TFill fill, GLenum target = GL_ARRAY_BUFFER) {
  gl.BufferData(target, static_cast<GLsizeiptr>(count * sizeof(TItem)), nullptr, GL_STATIC_DRAW);
  std::vector<TItem> piece(std::min(count, kUploadPieceVertices));
  for (size_t first = 0; first < count; first += piece.size()) {
    const size_t n = std::min(piece.size(), count - first);
    fill(first, n, piece.data());
    gl.BufferSubData(target, static_cast<GLintptr>(first * sizeof(TItem)), static_cast<GLsizeiptr>(n * sizeof(TItem)),
                     piece.data());
  }
}

struct TShadowPosition {
  float X, Y, Z;
};
static_assert(sizeof(TShadowPosition) == 3 * sizeof(float), "shadow positions are packed floats");

// Every facet's three corners, in mesh order, into the mesh and shadow buffers; no index buffer.
void UploadFacetCorners(const TGLFunctions& gl, const TMeshModel& model, const TShadowProjection& shadow,
                        const TModelObjects& objects) {
  gl.BindBuffer(GL_ARRAY_BUFFER, objects.MeshBuffers[kMeshBuffer]);
  UploadInPieces<TPackedVertex>(gl, size_t(model.MeshVertexCount), [&](size_t first, size_t n, TPackedVertex* out) {
    PackMeshVertices(model, first, n, out);
  });
  gl.BindBuffer(GL_ARRAY_BUFFER, objects.MeshBuffers[kShadowBuffer]);
  UploadInPieces<TShadowPosition>(gl, size_t(model.MeshVertexCount), [&](size_t first, size_t n, TShadowPosition* out) {
    shadow.Apply(model.MeshVertices.data() + 3 * first, n, &out->X);
  });
  // Nor does the driver keep the corners of atoms this context drew before.
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, objects.MeshBuffers[kIndexBuffer]);
  gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, 0, nullptr, GL_STATIC_DRAW);
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// The spheres of an atom model: its arrays hold every sphere's corners in the same order, so
// the corners a sphere's facets share are known from the unit sphere. Count is 0 for a mesh
// that is not made of such spheres.
struct TSphereSharing {
  explicit TSphereSharing(const TMeshModel& model) {
    if (model.SphereLevel < 0 || model.SphereLevel >= kSphereLevels) return;
    const int32_t corners = 3 * kSphereFacets[model.SphereLevel];
    if (model.MeshVertexCount <= 0 || model.MeshVertexCount % corners != 0) return;
    Shared = &SharedSphereCorners(model.SphereLevel);
    Corners = size_t(corners);
    Count = size_t(model.MeshVertexCount / corners);
  }
  // The mesh array vertex that distinct vertex `i` of the whole model is taken from.
  size_t SourceOf(size_t i) const {
    const size_t distinct = Shared->FirstOccurrence.size();
    return i / distinct * Corners + Shared->FirstOccurrence[i % distinct];
  }
  const TSharedSphereCorners* Shared = nullptr;
  size_t Corners = 0, Count = 0;
};

// Each sphere's distinct corners into the mesh and shadow buffers, and every facet corner as
// an index into them: the driver then transforms and lights each corner once, not once for
// each of the five or six facets around it.
void UploadSharedSpheres(const TGLFunctions& gl, const TMeshModel& model, const TSphereSharing& spheres,
                         const TShadowProjection& shadow, const TModelObjects& objects) {
  const size_t distinct = spheres.Shared->FirstOccurrence.size();
  gl.BindBuffer(GL_ARRAY_BUFFER, objects.MeshBuffers[kMeshBuffer]);
  UploadInPieces<TPackedVertex>(gl, spheres.Count * distinct, [&](size_t first, size_t n, TPackedVertex* out) {
    for (size_t i = 0; i < n; ++i) PackMeshVertices(model, spheres.SourceOf(first + i), 1, out + i);
  });
  gl.BindBuffer(GL_ARRAY_BUFFER, objects.MeshBuffers[kShadowBuffer]);
  UploadInPieces<TShadowPosition>(gl, spheres.Count * distinct, [&](size_t first, size_t n, TShadowPosition* out) {
    for (size_t i = 0; i < n; ++i)
      shadow.Apply(model.MeshVertices.data() + 3 * spheres.SourceOf(first + i), 1, &out[i].X);
  });
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, objects.MeshBuffers[kIndexBuffer]);
  const std::vector<uint32_t>& corner = spheres.Shared->DistinctIndex;
  UploadInPieces<GLuint>(
      gl, size_t(model.MeshVertexCount),
      [&](size_t first, size_t n, GLuint* out) {
        for (size_t i = 0; i < n; ++i) {
          const size_t at = first + i;
          out[i] = static_cast<GLuint>(at / spheres.Corners * distinct + corner[at % spheres.Corners]);
        }
      },
      GL_ELEMENT_ARRAY_BUFFER);
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// The packed mesh and its shadow into the context's buffers; the mesh arrays are released
// once the driver has them, since every frame is then drawn from the buffers.
bool UploadMeshBuffers(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects) {
  if (model->MeshVertexCount <= 0) return false;
  const TGLFunctions& gl = objects.Owner.Functions();
  if (!gl.Buffers()) return false;
  if (objects.Mesh.Holds(model)) return true;
  if (objects.Mesh.Refuses(model) || !MeshArraysHeld(*model)) return false;
  for (GLuint& name : objects.MeshBuffers)
    if (!name) gl.GenBuffers(1, &name);
  for (GLuint name : objects.MeshBuffers)
    if (!name) return false;
  const bool uploaded = objects.Mesh.Upload(model, [&] {
    const TShadowProjection shadow(*model);
    const TSphereSharing spheres(*model);
    objects.IndexCount = spheres.Count ? model->MeshVertexCount : 0;
    if (spheres.Count)
      UploadSharedSpheres(gl, *model, spheres, shadow, objects);
    else
      UploadFacetCorners(gl, *model, shadow, objects);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  });
  if (!uploaded) {
    objects.IndexCount = 0;  // such a model is drawn from memory
    return false;
  }
  model->BuffersUploaded = true;
  ReleaseMeshArrays(*model);
  return true;
}

// The lights are fixed to the viewer: set while the model-view matrix is the identity.
void SetUpLights(TGLStateScope& state) {
  using namespace lighting;
  const GLfloat ambient[] = {kSceneAmbient[0], kSceneAmbient[1], kSceneAmbient[2], 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  const GLfloat black[] = {0, 0, 0, 1};
  const GLfloat pos0[] = {kKeyDirection[0], kKeyDirection[1], kKeyDirection[2], 0};
  const GLfloat diffuse0[] = {kKeyDiffuse[0], kKeyDiffuse[1], kKeyDiffuse[2], 1};
  const GLfloat spec0[] = {kKeySpecular[0], kKeySpecular[1], kKeySpecular[2], 1};
  state.Enable(GL_LIGHT0);
  glLightfv(GL_LIGHT0, GL_POSITION, pos0);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, spec0);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  const GLfloat pos1[] = {kFillDirection[0], kFillDirection[1], kFillDirection[2], 0};
  const GLfloat diffuse1[] = {kFillDiffuse[0], kFillDiffuse[1], kFillDiffuse[2], 1};
  state.Enable(GL_LIGHT1);
  glLightfv(GL_LIGHT1, GL_POSITION, pos1);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, black);
  glLightfv(GL_LIGHT1, GL_AMBIENT, black);
  state.Enable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  const GLfloat specular[] = {kMaterialSpecular[0], kMaterialSpecular[1], kMaterialSpecular[2], 1};
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, kMaterialShininess);
}

// Every facet from the arrays pointed at: by index where the buffers share vertices.
void DrawFacets(const TMeshModel& model, const TModelObjects* buffers) {
  if (!buffers || buffers->IndexCount == 0) {
    glDrawArrays(GL_TRIANGLES, 0, model.MeshVertexCount);
    return;
  }
  const TGLFunctions& gl = buffers->Owner.Functions();
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers->MeshBuffers[kIndexBuffer]);
  glDrawElements(GL_TRIANGLES, buffers->IndexCount, GL_UNSIGNED_INT, nullptr);
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// The shadow depends only on the model: drawn from the context's buffer, or from memory where
// the model keeps it (made on first use) for as long as it is drawn from memory.
void DrawShadow(TMeshModel& model, const TModelObjects* buffers) {
  // The shadow is a faint blot a few per cent darker than the background: an edge smoothed by
  // multisampling would not show, and in a software driver it costs about as much again.
  TGLStateScope state({GL_BLEND}, {GL_MULTISAMPLE, GL_LIGHTING, GL_DEPTH_TEST});
  state.EnableArray(GL_VERTEX_ARRAY);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0, 0, 0, lighting::kShadowAlpha);
  if (buffers) {
    const TGLFunctions& gl = buffers->Owner.Functions();
    gl.BindBuffer(GL_ARRAY_BUFFER, buffers->MeshBuffers[kShadowBuffer]);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  } else {
    if (model.ShadowVertices.empty()) model.ShadowVertices = ComputeShadowVertices(model);
    glVertexPointer(3, GL_FLOAT, 0, model.ShadowVertices.data());
  }
  DrawFacets(model, buffers);
}

enum class TArrays { PositionsOnly, WithNormalsAndColours };

// Points the client arrays at the packed buffer or at the arrays in memory, and enables them for
// `state`.
void PointArrays(const TMeshModel& model, const TModelObjects* buffers, TArrays arrays, TGLStateScope& state) {
  const bool withNormalsAndColours = arrays == TArrays::WithNormalsAndColours;
  state.EnableArray(GL_VERTEX_ARRAY);
  if (withNormalsAndColours) state.EnableArray(GL_NORMAL_ARRAY).EnableArray(GL_COLOR_ARRAY);
  if (!buffers) {
    glVertexPointer(3, GL_FLOAT, 0, model.MeshVertices.data());
    if (withNormalsAndColours) {
      glNormalPointer(GL_FLOAT, 0, model.MeshNormals.data());
      glColorPointer(3, GL_FLOAT, 0, model.MeshColors.data());
    }
    return;
  }
  constexpr GLsizei kStride = sizeof(TPackedVertex);
  auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
  const TGLFunctions& gl = buffers->Owner.Functions();
  gl.BindBuffer(GL_ARRAY_BUFFER, buffers->MeshBuffers[kMeshBuffer]);
  glVertexPointer(3, GL_FLOAT, kStride, at(offsetof(TPackedVertex, X)));
  if (withNormalsAndColours) {
    glNormalPointer(GL_SHORT, kStride, at(offsetof(TPackedVertex, NX)));
    glColorPointer(4, GL_UNSIGNED_BYTE, kStride, at(offsetof(TPackedVertex, R)));
  }
  gl.BindBuffer(GL_ARRAY_BUFFER, 0);
}

// The lit mesh, fading towards the background with `fade` over the model's depth.
void DrawMesh(const TMeshModel& model, const TModelObjects* buffers, const TDepthCueFade& fade) {
  TGLStateScope state;
  if (fade.PerDistance != 0) {
    const GLfloat background[] = {lighting::kBackground[0], lighting::kBackground[1], lighting::kBackground[2], 1};
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, fade.Start());
    glFogf(GL_FOG_END, fade.End());
    glFogfv(GL_FOG_COLOR, background);
    state.Enable(GL_FOG);
  }
  PointArrays(model, buffers, TArrays::WithNormalsAndColours, state);
  DrawFacets(model, buffers);
}

void DrawWireOverlay(const TMeshModel& model, const TModelObjects* buffers) {
  TGLStateScope state({GL_POLYGON_OFFSET_LINE, GL_BLEND}, {GL_LIGHTING});
  glPolygonOffset(-1, -1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glLineWidth(0.6f);
  glColor4f(0, 0, 0, 0.3f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  PointArrays(model, buffers, TArrays::PositionsOnly, state);
  DrawFacets(model, buffers);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// An atom model made for spheres, drawn where shaders are missing: its mesh is made now from the
// atoms; so is the mesh of one whose arrays went into another context's buffers.
bool HoldsAtomMesh(const std::shared_ptr<TMeshModel>& model, const TModelObjects& objects) {
  if (model->Kind != TModelKind::Atoms || model->Atoms.empty()) return true;
  if (objects.Mesh.Holds(model) || (model->MeshVertexCount > 0 && MeshArraysHeld(*model))) return true;
  std::string error;
  if (BuildAtomSphereMesh(*model, error)) return true;
  DebugLog("RenderMeshModel: no mesh of the atoms: " + error);
  return false;
}

void DrawMeshFrame(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, const TView3D& view,
                   const TDepthCueFade& fade, TMeshFrame frame) {
  if (!HoldsAtomMesh(model, objects)) return;
  const bool dragging = frame == TMeshFrame::Dragged;
  const TModelObjects* fromBuffers = UploadMeshBuffers(model, objects) ? &objects : nullptr;
  // A model whose arrays went into another context's buffers has nothing to draw from here.
  const bool drawable = fromBuffers || MeshArraysHeld(*model);
  // Multisampling doubles a software driver's cost of every facet; a moving picture does
  // without it, and the still one after the drag has it again.
  TGLStateScope state({GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING});
  state.Set(GL_MULTISAMPLE, !dragging);
  glDepthFunc(GL_LEQUAL);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  SetUpLights(state);
  ApplyView3D(view, 0);

  if (drawable && !dragging) DrawShadow(*model, fromBuffers);
  if (drawable && model->MeshVertexCount > 0) DrawMesh(*model, fromBuffers, fade);
  bool surface = model->Kind == TModelKind::Surface;  // atom spheres have no edges worth showing
  if (drawable && !dragging && surface && model->MeshVertexCount > 0) DrawWireOverlay(*model, fromBuffers);
}

// Frees what the sphere renderer grew to a picture's pixels, however the drawing ends.
class TWorkingMemoryRelease {
 public:
  explicit TWorkingMemoryRelease(TModelObjects& objects) : objects_(objects) {}
  TWorkingMemoryRelease(const TWorkingMemoryRelease&) = delete;
  TWorkingMemoryRelease& operator=(const TWorkingMemoryRelease&) = delete;
  ~TWorkingMemoryRelease() { objects_.ReleaseWorkingMemory(); }

 private:
  TModelObjects& objects_;
};

// RenderMeshModelTiles' tiles, drawn and handed over one by one; false when a read-back failed
// or the sink stopped.
bool DrawTiles(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, TPictureSize picture,
               int coveredBottom, TPictureSize tile, const TViewValues& view, const TTileSink& sink) {
  std::vector<uint32_t> pixels;
  for (const TPictureTile& t : PictureTiles(picture, tile)) {
    // The whole area, moved so that this tile of the picture above its covered band falls on the
    // buffer's lower left corner.
    const TDrawArea area{picture.Width, picture.Height + coveredBottom, coveredBottom, -t.X,
                         -(picture.Height - t.Y - t.Height) - coveredBottom};
    pixels.resize(static_cast<size_t>(t.Width) * t.Height);
    std::string error;
    if (!DrawAndReadBack([&] { RenderMeshModel(model, objects, area, view, TMeshFrame::Still); },
                         {0, 0, t.Width, t.Height}, pixels.data(), error)) {
      DebugLog("RenderMeshModelTiles: a tile could not be read back (" + error + ")");
      return false;
    }
    if (!sink(t, pixels.data())) return false;
  }
  return true;
}

}  // namespace

std::vector<float> ComputeShadowVertices(const TMeshModel& model) {
  std::vector<float> out(model.MeshVertices.size() / 3 * 3);
  TShadowProjection(model).Apply(model.MeshVertices.data(), out.size() / 3, out.data());
  return out;
}

void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, const TDrawArea& area,
                     const TViewValues& view, TMeshFrame frame) {
  if (!model || (model->FacetCount <= 0 && model->Atoms.empty())) return;
  if (!objects.Owner.TakeCurrentContext()) return;
  const bool dragging = frame == TMeshFrame::Dragged;
  const bool atoms = model->Kind == TModelKind::Atoms && !model->Atoms.empty();
  const TView3D view3D = ModelView(*model, area, view);
  const TDepthCueFade fade = model->DepthCue ? ModelDepthCue(*model, view3D) : TDepthCueFade{};

  glClearColor(lighting::kBackground[0], lighting::kBackground[1], lighting::kBackground[2], 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const bool spheres = atoms && objects.Owner.AtomDrawing() == TAtomDrawing::Impostors &&
                       DrawSphereFrame(model, objects, view3D, fade, !dragging);
  if (!spheres) DrawMeshFrame(model, objects, view3D, fade, frame);
}

bool RenderMeshModelTiles(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, TPictureSize picture,
                          int coveredBottom, TPictureSize tile, const TViewValues& view, const TTileSink& sink) {
  // RenderMeshModel leaves the buffer as it was for want of a model: no tile would be a picture.
  if (!model || (model->FacetCount <= 0 && model->Atoms.empty())) return false;
  if (!objects.Owner.TakeCurrentContext()) return false;
  coveredBottom = std::max(coveredBottom, 0);
  const TGLLimits& limits = objects.Owner.Limits();
  if (picture.Width > limits.MaxViewportWidth || picture.Height > limits.MaxViewportHeight - coveredBottom) {
    DebugLogFmt("RenderMeshModelTiles: %dx%d is past the driver's viewport of %dx%d", picture.Width,
                picture.Height + coveredBottom, limits.MaxViewportWidth, limits.MaxViewportHeight);
    return false;
  }
  // The culler and the shadow grow to the picture's pixels; the window's next frame needs far fewer.
  const TWorkingMemoryRelease release(objects);
  return DrawTiles(model, objects, picture, coveredBottom, tile, view, sink);
}

int LargestTiledAreaSide(TGLResources& resources) {
  if (!resources.TakeCurrentContext()) return 0;
  const TGLLimits& limits = resources.Limits();
  return std::min({limits.MaxViewportWidth, limits.MaxViewportHeight, limits.MaxTextureSize});
}

}  // namespace pelorin
