// The 3D mesh renderer.
#include "render/uMeshRender.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <type_traits>

#include "model3d/uAtomModel.h"
#include "render/uLighting.h"
#include "render/uOpenGL.h"
#include "render/uView3D.h"
#include "support/uDebugLog.h"

namespace pelorin {
namespace {

struct TBufferProcs {
  PFNGLGENBUFFERSPROC Gen = nullptr;
  PFNGLBINDBUFFERPROC Bind = nullptr;
  PFNGLBUFFERDATAPROC Data = nullptr;
  PFNGLBUFFERSUBDATAPROC SubData = nullptr;
  PFNGLDELETEBUFFERSPROC Delete = nullptr;
};

template <typename T>
T LookUp(const char* name, const char* arbName) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetGLProc(name, arbName)));
}

// The buffer functions, looked up once for the process by whichever window draws a model first
// (with its context current); every later frame of every window only reads them.
const TBufferProcs& Procs() {
  static std::once_flag lookedUp;
  static TBufferProcs procs;
  std::call_once(lookedUp, [] {
    procs.Gen = LookUp<PFNGLGENBUFFERSPROC>("glGenBuffers", "glGenBuffersARB");
    procs.Bind = LookUp<PFNGLBINDBUFFERPROC>("glBindBuffer", "glBindBufferARB");
    procs.Data = LookUp<PFNGLBUFFERDATAPROC>("glBufferData", "glBufferDataARB");
    procs.SubData = LookUp<PFNGLBUFFERSUBDATAPROC>("glBufferSubData", "glBufferSubDataARB");
    procs.Delete = LookUp<PFNGLDELETEBUFFERSPROC>("glDeleteBuffers", "glDeleteBuffersARB");
  });
  return procs;
}

bool BuffersAvailable() {
  const TBufferProcs& p = Procs();
  return p.Gen && p.Bind && p.Data && p.SubData && p.Delete;
}

enum TBufferIndex { kMeshBuffer, kShadowBuffer, kIndexBuffer, kBufferCount };
static_assert(std::extent_v<decltype(TMeshBuffers::Names)> == kBufferCount, "one name a buffer");
static_assert(std::is_same_v<GLuint, uint32_t>, "buffer names are kept as uint32_t");

// Names made in another context are that context's: they are dropped without being deleted,
// since deleting them here would free this context's buffers of the same names.
void TakeToCurrentContext(TMeshBuffers& buffers) {
  const HGLRC current = wglGetCurrentContext();
  if (buffers.Context == current) return;
  for (uint32_t& name : buffers.Names) name = 0;
  buffers.IndexCount = 0;
  buffers.Uploaded.reset();
  buffers.Refused.reset();
  buffers.Filled = false;
  buffers.Context = current;
}

// Vertices converted per piece of an upload: the buffers are filled piece by piece, so the
// upload needs no second copy of the model beside the arrays and the driver's.
constexpr size_t kUploadPieceVertices = 1 << 16;

// Sizes the bound buffer for `count` items of `itemBytes` and fills it piece by piece;
// `fill(first, n, out)` writes items first..first+n-1 into out.
template <typename TItem, typename TFill>
void UploadInPieces(size_t count, TFill fill, GLenum target = GL_ARRAY_BUFFER) {
  Procs().Data(target, static_cast<GLsizeiptr>(count * sizeof(TItem)), nullptr, GL_STATIC_DRAW);
  std::vector<TItem> piece(std::min(count, kUploadPieceVertices));
  for (size_t first = 0; first < count; first += piece.size()) {
    const size_t n = std::min(piece.size(), count - first);
    fill(first, n, piece.data());
    Procs().SubData(target, static_cast<GLintptr>(first * sizeof(TItem)), static_cast<GLsizeiptr>(n * sizeof(TItem)),
                    piece.data());
  }
}

struct TShadowPosition {
  float X, Y, Z;
};
static_assert(sizeof(TShadowPosition) == 3 * sizeof(float), "shadow positions are packed floats");

// Every facet's three corners, in mesh order, into the mesh and shadow buffers; no index buffer.
void UploadFacetCorners(const TMeshModel& model, const TShadowProjection& shadow, const TMeshBuffers& buffers) {
  Procs().Bind(GL_ARRAY_BUFFER, buffers.Names[kMeshBuffer]);
  UploadInPieces<TPackedVertex>(size_t(model.MeshVertexCount), [&](size_t first, size_t n, TPackedVertex* out) {
    PackMeshVertices(model, first, n, out);
  });
  Procs().Bind(GL_ARRAY_BUFFER, buffers.Names[kShadowBuffer]);
  UploadInPieces<TShadowPosition>(size_t(model.MeshVertexCount), [&](size_t first, size_t n, TShadowPosition* out) {
    shadow.Apply(model.MeshVertices.data() + 3 * first, n, &out->X);
  });
  // Nor does the driver keep the corners of atoms this context drew before.
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, buffers.Names[kIndexBuffer]);
  Procs().Data(GL_ELEMENT_ARRAY_BUFFER, 0, nullptr, GL_STATIC_DRAW);
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, 0);
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
void UploadSharedSpheres(const TMeshModel& model, const TSphereSharing& spheres, const TShadowProjection& shadow,
                         const TMeshBuffers& buffers) {
  const size_t distinct = spheres.Shared->FirstOccurrence.size();
  Procs().Bind(GL_ARRAY_BUFFER, buffers.Names[kMeshBuffer]);
  UploadInPieces<TPackedVertex>(spheres.Count * distinct, [&](size_t first, size_t n, TPackedVertex* out) {
    for (size_t i = 0; i < n; ++i) PackMeshVertices(model, spheres.SourceOf(first + i), 1, out + i);
  });
  Procs().Bind(GL_ARRAY_BUFFER, buffers.Names[kShadowBuffer]);
  UploadInPieces<TShadowPosition>(spheres.Count * distinct, [&](size_t first, size_t n, TShadowPosition* out) {
    for (size_t i = 0; i < n; ++i)
      shadow.Apply(model.MeshVertices.data() + 3 * spheres.SourceOf(first + i), 1, &out[i].X);
  });
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, buffers.Names[kIndexBuffer]);
  const std::vector<uint32_t>& corner = spheres.Shared->DistinctIndex;
  UploadInPieces<GLuint>(
      size_t(model.MeshVertexCount),
      [&](size_t first, size_t n, GLuint* out) {
        for (size_t i = 0; i < n; ++i) {
          const size_t at = first + i;
          out[i] = static_cast<GLuint>(at / spheres.Corners * distinct + corner[at % spheres.Corners]);
        }
      },
      GL_ELEMENT_ARRAY_BUFFER);
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// The packed mesh and its shadow into the context's buffers; the mesh arrays are released
// once the driver has them, since every frame is then drawn from the buffers.
bool UploadMeshBuffers(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers) {
  if (model->MeshVertexCount <= 0) return false;
  if (!BuffersAvailable()) return false;
  if (buffers.Uploaded.lock() == model) return true;
  if (buffers.Refused.lock() == model || !MeshArraysHeld(*model)) return false;
  for (GLuint& name : buffers.Names)
    if (!name) Procs().Gen(1, &name);
  for (GLuint name : buffers.Names)
    if (!name) return false;
  DrainGLErrors();  // errors of earlier drawing are not the upload's
  const TShadowProjection shadow(*model);
  const TSphereSharing spheres(*model);
  buffers.IndexCount = spheres.Count ? model->MeshVertexCount : 0;
  if (spheres.Count)
    UploadSharedSpheres(*model, spheres, shadow, buffers);
  else
    UploadFacetCorners(*model, shadow, buffers);
  Procs().Bind(GL_ARRAY_BUFFER, 0);
  // A driver short of memory refuses the data; drawing from an empty buffer would then
  // read past its end, so such a model is drawn from memory instead.
  if (DrainGLErrors()) {
    buffers.Uploaded.reset();
    buffers.Refused = model;
    buffers.IndexCount = 0;
    return false;
  }
  buffers.Uploaded = model;
  buffers.Filled = true;
  model->BuffersUploaded = true;
  ReleaseMeshArrays(*model);
  return true;
}

void SetUpLights() {
  using namespace lighting;
  const GLfloat ambient[] = {kSceneAmbient[0], kSceneAmbient[1], kSceneAmbient[2], 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  const GLfloat black[] = {0, 0, 0, 1};
  const GLfloat pos0[] = {kKeyDirection[0], kKeyDirection[1], kKeyDirection[2], 0};
  const GLfloat diffuse0[] = {kKeyDiffuse[0], kKeyDiffuse[1], kKeyDiffuse[2], 1};
  const GLfloat spec0[] = {kKeySpecular[0], kKeySpecular[1], kKeySpecular[2], 1};
  glEnable(GL_LIGHT0);
  glLightfv(GL_LIGHT0, GL_POSITION, pos0);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, spec0);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  const GLfloat pos1[] = {kFillDirection[0], kFillDirection[1], kFillDirection[2], 0};
  const GLfloat diffuse1[] = {kFillDiffuse[0], kFillDiffuse[1], kFillDiffuse[2], 1};
  glEnable(GL_LIGHT1);
  glLightfv(GL_LIGHT1, GL_POSITION, pos1);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, black);
  glLightfv(GL_LIGHT1, GL_AMBIENT, black);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  const GLfloat specular[] = {kMaterialSpecular[0], kMaterialSpecular[1], kMaterialSpecular[2], 1};
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, kMaterialShininess);
}

// Every facet from the arrays pointed at: by index where the buffers share vertices.
void DrawFacets(const TMeshModel& model, const TMeshBuffers* buffers) {
  if (!buffers || buffers->IndexCount == 0) {
    glDrawArrays(GL_TRIANGLES, 0, model.MeshVertexCount);
    return;
  }
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, buffers->Names[kIndexBuffer]);
  glDrawElements(GL_TRIANGLES, buffers->IndexCount, GL_UNSIGNED_INT, nullptr);
  Procs().Bind(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// The shadow depends only on the model: drawn from the context's buffer, or from memory where
// the model keeps it (made on first use) for as long as it is drawn from memory.
void DrawShadow(TMeshModel& model, const TMeshBuffers* buffers) {
  // The shadow is a faint blot a few per cent darker than the background: an edge smoothed by
  // multisampling would not show, and in a software driver it costs about as much again.
  const GLboolean multisampled = glIsEnabled(GL_MULTISAMPLE);
  glDisable(GL_MULTISAMPLE);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0, 0, 0, lighting::kShadowAlpha);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (buffers) {
    Procs().Bind(GL_ARRAY_BUFFER, buffers->Names[kShadowBuffer]);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    Procs().Bind(GL_ARRAY_BUFFER, 0);
  } else {
    if (model.ShadowVertices.empty()) model.ShadowVertices = ComputeShadowVertices(model);
    glVertexPointer(3, GL_FLOAT, 0, model.ShadowVertices.data());
  }
  DrawFacets(model, buffers);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  if (multisampled) glEnable(GL_MULTISAMPLE);
}

enum class TArrays { PositionsOnly, WithNormalsAndColours };

// Points the client arrays at the packed buffer or at the arrays in memory.
void PointArrays(const TMeshModel& model, const TMeshBuffers* buffers, TArrays arrays) {
  const bool withNormalsAndColours = arrays == TArrays::WithNormalsAndColours;
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
  Procs().Bind(GL_ARRAY_BUFFER, buffers->Names[kMeshBuffer]);
  glVertexPointer(3, GL_FLOAT, kStride, at(offsetof(TPackedVertex, X)));
  if (withNormalsAndColours) {
    glNormalPointer(GL_SHORT, kStride, at(offsetof(TPackedVertex, NX)));
    glColorPointer(4, GL_UNSIGNED_BYTE, kStride, at(offsetof(TPackedVertex, R)));
  }
  Procs().Bind(GL_ARRAY_BUFFER, 0);
}

void DrawMesh(const TMeshModel& model, const TMeshBuffers* buffers) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  PointArrays(model, buffers, TArrays::WithNormalsAndColours);
  DrawFacets(model, buffers);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawWireOverlay(const TMeshModel& model, const TMeshBuffers* buffers) {
  glDisable(GL_LIGHTING);
  glEnable(GL_POLYGON_OFFSET_LINE);
  glPolygonOffset(-1, -1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glLineWidth(0.6f);
  glColor4f(0, 0, 0, 0.3f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnableClientState(GL_VERTEX_ARRAY);
  PointArrays(model, buffers, TArrays::PositionsOnly);
  DrawFacets(model, buffers);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_POLYGON_OFFSET_LINE);
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
}

// The surface as it has always been fitted: its radius 0.74 of the area's height (1.35 radii
// above and below its centre), the whole area, turned about the centre of its bounds.
TView3D SurfaceView(TMeshModel& model, const TDrawArea& area, const TViewValues& view) {
  TVec3 c;
  float r;
  GetModelBounds(model, c, r);
  TView3D v;
  v.X = area.OriginX, v.Y = area.OriginY;
  v.Width = std::max(area.Width, 1), v.Height = std::max(area.Height, 1);
  double aspect = area.Height > 0 ? static_cast<double>(area.Width) / area.Height : 1.0;
  if (aspect < 0.01) aspect = 1.0;
  v.HalfHeight = 1.35 * r / view.Zoom3D;
  v.HalfWidth = v.HalfHeight * aspect;
  v.Depth = 4.0 * r;
  v.Pivot = c;
  v.RotX = view.RotX, v.RotY = view.RotY;
  return v;
}

// An atom model fitted by its extent into the uncovered part of the area, turned about the
// point that puts the extent in the middle.
TView3D AtomView(TMeshModel& model, const TDrawArea& area, const TViewValues& view) {
  if (!model.DefaultExtent)
    model.DefaultExtent = ProjectedAtomExtent(model.Atoms, model.ModelCenter, kResetRotX, kResetRotY);
  TView3D v;
  const int covered = std::clamp(area.CoveredBottom, 0, std::max(area.Height - 1, 0));
  v.X = area.OriginX, v.Y = area.OriginY + covered;
  v.Width = std::max(area.Width, 1), v.Height = std::max(area.Height - covered, 1);
  const TAtomFit fit =
      FitAtomExtent(*model.DefaultExtent, model.ModelCenter, kResetRotX, kResetRotY, v.Width, v.Height);
  v.HalfHeight = fit.HalfHeight / view.Zoom3D;
  v.HalfWidth = v.HalfHeight * v.Width / v.Height;
  v.Pivot = fit.Pivot;
  // The box reaches past every sphere however the model turns about the pivot.
  v.Depth = 4.0 * model.ModelRadius + VecLength(VecSub(fit.Pivot, model.ModelCenter));
  v.RotX = view.RotX, v.RotY = view.RotY;
  return v;
}

// The fade over the model's depth as it is turned now: from its bounds' nearest corner to their
// farthest, as distances from the eye (the pivot lies `Depth` in front of it).
TDepthCueFade DepthCueOf(const TMeshModel& model, const TView3D& view) {
  const TDepthSpan span = TurnedDepthSpan(model.ModelCenter, model.HalfExtent, view.Pivot, view.RotX, view.RotY);
  return DepthCueFade(static_cast<float>(view.Depth - span.Nearest), static_cast<float>(view.Depth - span.Farthest));
}

// An atom model made for spheres, drawn where shaders are missing: its mesh is made now from the
// atoms; so is the mesh of one whose arrays went into another context's buffers.
bool HoldsAtomMesh(const std::shared_ptr<TMeshModel>& model, const TMeshBuffers& buffers) {
  if (model->Kind != TModelKind::Atoms || model->Atoms.empty()) return true;
  if (buffers.Uploaded.lock() == model || (model->MeshVertexCount > 0 && MeshArraysHeld(*model))) return true;
  std::string error;
  if (BuildAtomSphereMesh(*model, error)) return true;
  DebugLog("RenderMeshModel: no mesh of the atoms: " + error);
  return false;
}

void DrawMeshFrame(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, const TView3D& view,
                   const TDepthCueFade& fade, TMeshFrame frame) {
  if (!HoldsAtomMesh(model, buffers)) return;
  const bool dragging = frame == TMeshFrame::Dragged;
  const TMeshBuffers* fromBuffers = UploadMeshBuffers(model, buffers) ? &buffers : nullptr;
  // A model whose arrays went into another context's buffers has nothing to draw from here.
  const bool drawable = fromBuffers || MeshArraysHeld(*model);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  // Multisampling doubles a software driver's cost of every facet; a moving picture does
  // without it, and the still one after the drag has it again.
  if (dragging)
    glDisable(GL_MULTISAMPLE);
  else
    glEnable(GL_MULTISAMPLE);
  glEnable(GL_LIGHTING);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();  // the lights are fixed to the viewer
  SetUpLights();
  ApplyView3D(view, 0);

  if (drawable && !dragging) DrawShadow(*model, fromBuffers);
  if (fade.PerDistance != 0) {
    const GLfloat background[] = {lighting::kBackground[0], lighting::kBackground[1], lighting::kBackground[2], 1};
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, fade.Start());
    glFogf(GL_FOG_END, fade.End());
    glFogfv(GL_FOG_COLOR, background);
    glEnable(GL_FOG);
  }
  if (drawable && model->MeshVertexCount > 0) DrawMesh(*model, fromBuffers);
  glDisable(GL_FOG);
  bool surface = model->Kind == TModelKind::Surface;  // atom spheres have no edges worth showing
  if (drawable && !dragging && surface && model->MeshVertexCount > 0) DrawWireOverlay(*model, fromBuffers);
}

// RenderMeshModelTiles' tiles, drawn and handed over one by one; false when a read-back failed
// or the sink stopped.
bool DrawTiles(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, TPictureSize picture, int coveredBottom,
               TPictureSize tile, const TViewValues& view, const TTileSink& sink) {
  std::vector<uint32_t> rows, pixels;
  for (const TPictureTile& t : PictureTiles(picture, tile)) {
    // The whole area, moved so that this tile of the picture above its covered band falls on the
    // buffer's lower left corner.
    const TDrawArea area{picture.Width, picture.Height + coveredBottom, coveredBottom, -t.X,
                         -(picture.Height - t.Y - t.Height) - coveredBottom};
    RenderMeshModel(model, buffers, area, view, TMeshFrame::Still);
    glFinish();
    const size_t count = static_cast<size_t>(t.Width) * t.Height;
    rows.resize(count);
    pixels.resize(count);
    DrainGLErrors();  // the drawing's are not the read's
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, t.Width, t.Height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, rows.data());
    if (DrainGLErrors()) {
      DebugLog("RenderMeshModelTiles: a tile could not be read back");
      return false;
    }
    for (int y = 0; y < t.Height; ++y)  // OpenGL rows run bottom-up
      std::copy_n(rows.data() + static_cast<size_t>(t.Height - 1 - y) * t.Width, t.Width,
                  pixels.data() + static_cast<size_t>(y) * t.Width);
    if (!sink(t, pixels.data())) return false;
  }
  return true;
}

// Frees what the sphere renderer grew to a picture's pixels, however the drawing ends.
class TWorkingMemoryRelease {
 public:
  explicit TWorkingMemoryRelease(TSphereDrawing& drawing) : drawing_(drawing) {}
  TWorkingMemoryRelease(const TWorkingMemoryRelease&) = delete;
  TWorkingMemoryRelease& operator=(const TWorkingMemoryRelease&) = delete;
  ~TWorkingMemoryRelease() { drawing_.ReleaseWorkingMemory(); }

 private:
  TSphereDrawing& drawing_;
};

}  // namespace

std::vector<float> ComputeShadowVertices(const TMeshModel& model) {
  std::vector<float> out(model.MeshVertices.size() / 3 * 3);
  TShadowProjection(model).Apply(model.MeshVertices.data(), out.size() / 3, out.data());
  return out;
}

TMeshBuffers::~TMeshBuffers() {
  if (Context == nullptr || wglGetCurrentContext() != Context) return;  // the context's deletion frees them
  for (uint32_t name : Names)
    if (name) Procs().Delete(1, &name);
}

TAtomDrawing TMeshBuffers::AtomDrawing() {
  if (Spheres.Programs == TSphereDrawing::TPrograms::Failed && Spheres.Context == wglGetCurrentContext())
    return TAtomDrawing::Meshes;
  if (AssumedVersion) return SupportsSphereShaders(*AssumedVersion) ? TAtomDrawing::Impostors : TAtomDrawing::Meshes;
  const HGLRC current = wglGetCurrentContext();
  if (current && current != VersionAskedOf) {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    VersionRunsShaders = SupportsSphereShaders(version ? version : "");
    VersionAskedOf = current;
  }
  return VersionRunsShaders ? TAtomDrawing::Impostors : TAtomDrawing::Meshes;
}

void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, const TDrawArea& area,
                     const TViewValues& view, TMeshFrame frame) {
  if (!model || (model->FacetCount <= 0 && model->Atoms.empty())) return;
  const bool dragging = frame == TMeshFrame::Dragged;
  TakeToCurrentContext(buffers);
  const bool atoms = model->Kind == TModelKind::Atoms && !model->Atoms.empty();
  const TView3D view3D = atoms ? AtomView(*model, area, view) : SurfaceView(*model, area, view);
  const TDepthCueFade fade = model->DepthCue ? DepthCueOf(*model, view3D) : TDepthCueFade{};

  glClearColor(lighting::kBackground[0], lighting::kBackground[1], lighting::kBackground[2], 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const bool spheres = atoms && buffers.AtomDrawing() == TAtomDrawing::Impostors &&
                       DrawSphereFrame(model, buffers.Spheres, view3D, fade, !dragging);
  if (!spheres) DrawMeshFrame(model, buffers, view3D, fade, frame);
  // The same context later draws 2D drawings and messages, which expect none of this.
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_FOG);
  glEnable(GL_MULTISAMPLE);
}

bool RenderMeshModelTiles(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, TPictureSize picture,
                          int coveredBottom, TPictureSize tile, const TViewValues& view, const TTileSink& sink) {
  // RenderMeshModel leaves the buffer as it was for want of a model: no tile would be a picture.
  if (!model || (model->FacetCount <= 0 && model->Atoms.empty())) return false;
  coveredBottom = std::max(coveredBottom, 0);
  GLint maxViewport[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  if (picture.Width > maxViewport[0] || picture.Height > maxViewport[1] - coveredBottom) {
    DebugLogFmt("RenderMeshModelTiles: %dx%d is past the driver's viewport of %dx%d", picture.Width,
                picture.Height + coveredBottom, maxViewport[0], maxViewport[1]);
    return false;
  }
  // The culler and the shadow grow to the picture's pixels; the window's next frame needs far fewer.
  const TWorkingMemoryRelease release(buffers.Spheres);
  return DrawTiles(model, buffers, picture, coveredBottom, tile, view, sink);
}

TMeshBuffers& TMeshBufferPool::For(const std::shared_ptr<const TMeshModel>& model) {
  for (const auto& set : sets_)
    if (model && (set->Uploaded.lock() == model || set->Refused.lock() == model)) return *set;
  for (const auto& set : sets_)
    if (set->Uploaded.expired() && set->Refused.expired()) return *set;
  sets_.push_back(std::make_unique<TMeshBuffers>());
  if (assumedVersion_) sets_.back()->AssumeGLVersion(*assumedVersion_);
  return *sets_.back();
}

TMeshBuffers& TMeshBufferPool::First() {
  if (sets_.empty()) For(nullptr);
  return *sets_.front();
}

void TMeshBufferPool::AssumeGLVersion(std::string_view version) {
  assumedVersion_ = std::string(version);
  for (const auto& set : sets_) set->AssumeGLVersion(version);
}

void TMeshBufferPool::ReleaseStale() {
  for (const auto& set : sets_) ReleaseStaleMeshBuffers(*set);
}

void ReleaseStaleMeshBuffers(TMeshBuffers& buffers) {
  buffers.Spheres.ReleaseStale();
  if (buffers.Context == nullptr || buffers.Context != wglGetCurrentContext()) return;
  if (!buffers.Filled || !buffers.Uploaded.expired()) return;
  for (uint32_t name : buffers.Names) {
    Procs().Bind(GL_ARRAY_BUFFER, name);
    Procs().Data(GL_ARRAY_BUFFER, 0, nullptr, GL_STATIC_DRAW);
  }
  Procs().Bind(GL_ARRAY_BUFFER, 0);
  buffers.Filled = false;
}

}  // namespace pelorin
