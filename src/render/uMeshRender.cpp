// The 3D mesh renderer.
#include "render/uMeshRender.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <type_traits>

#include "model3d/uAtomModel.h"
#include "render/uOpenGL.h"

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
  const GLfloat ambient[] = {0.18f, 0.18f, 0.20f, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  const GLfloat black[] = {0, 0, 0, 1};
  const GLfloat pos0[] = {1.2f, 1.5f, 1.0f, 0}, diffuse0[] = {1.0f, 0.95f, 0.85f, 1}, spec0[] = {0.9f, 0.88f, 0.8f, 1};
  glEnable(GL_LIGHT0);
  glLightfv(GL_LIGHT0, GL_POSITION, pos0);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, spec0);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  const GLfloat pos1[] = {-1.5f, 0.5f, 0.3f, 0}, diffuse1[] = {0.35f, 0.42f, 0.65f, 1};
  glEnable(GL_LIGHT1);
  glLightfv(GL_LIGHT1, GL_POSITION, pos1);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, black);
  glLightfv(GL_LIGHT1, GL_AMBIENT, black);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  const GLfloat specular[] = {0.55f, 0.53f, 0.50f, 1};
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, 48);
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
  glColor4f(0, 0, 0, 0.22f);
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

}  // namespace

TShadowProjection::TShadowProjection(const TMeshModel& model) {
  const TVec3 c = model.ModelCenter;
  const float r = model.ModelRadius;
  ground_ = c.Y - 1.05f * r;
  const float lightHeight = c.Y + 2.5f * r;
  height_ = lightHeight - ground_;
  if (!(height_ > 0.001f)) height_ = 0.001f;
  towardsX_ = c.X + 1.2f * r;
}

void TShadowProjection::Apply(const float* vertices, size_t count, float* out) const {
  for (size_t i = 0; i < 3 * count; i += 3) {
    float x = vertices[i], y = vertices[i + 1], z = vertices[i + 2];
    if (y > ground_) x += (towardsX_ - x) * ((y - ground_) / height_);
    out[i] = x;
    out[i + 1] = ground_;
    out[i + 2] = z;
  }
}

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

void RenderMeshModel(const std::shared_ptr<TMeshModel>& model, TMeshBuffers& buffers, int w, int h,
                     const TViewValues& view, TMeshFrame frame) {
  if (!model || model->FacetCount <= 0) return;
  const bool dragging = frame == TMeshFrame::Dragged;
  TVec3 c;
  float r;
  GetModelBounds(*model, c, r);
  TakeToCurrentContext(buffers);
  const TMeshBuffers* fromBuffers = UploadMeshBuffers(model, buffers) ? &buffers : nullptr;
  // A model whose arrays went into another context's buffers has nothing to draw from here.
  const bool drawable = fromBuffers || MeshArraysHeld(*model);

  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  double aspect = h > 0 ? static_cast<double>(w) / h : 1.0;
  if (aspect < 0.01) aspect = 1.0;
  double s = 1.35 * r / view.Zoom3D;
  glOrtho(-s * aspect, s * aspect, -s, s, -4.0 * r, 4.0 * r);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(-c.X, -c.Y, -c.Z);

  glClearColor(0.13f, 0.14f, 0.16f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
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
  SetUpLights();

  glTranslatef(c.X, c.Y, c.Z);
  glRotatef(view.RotX, 1, 0, 0);
  glRotatef(view.RotY, 0, 1, 0);
  glTranslatef(-c.X, -c.Y, -c.Z);

  if (drawable && !dragging) DrawShadow(*model, fromBuffers);
  if (drawable && model->MeshVertexCount > 0) DrawMesh(*model, fromBuffers);
  bool surface = model->Kind == TModelKind::Surface;  // atom spheres have no edges worth showing
  if (drawable && !dragging && surface && model->MeshVertexCount > 0) DrawWireOverlay(*model, fromBuffers);
  // The same context later draws 2D drawings and messages, which expect none of this.
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glEnable(GL_MULTISAMPLE);
}

TMeshBuffers& TMeshBufferPool::For(const std::shared_ptr<const TMeshModel>& model) {
  for (const auto& set : sets_)
    if (model && (set->Uploaded.lock() == model || set->Refused.lock() == model)) return *set;
  for (const auto& set : sets_)
    if (set->Uploaded.expired() && set->Refused.expired()) return *set;
  sets_.push_back(std::make_unique<TMeshBuffers>());
  return *sets_.back();
}

TMeshBuffers& TMeshBufferPool::First() {
  if (sets_.empty()) sets_.push_back(std::make_unique<TMeshBuffers>());
  return *sets_.front();
}

void TMeshBufferPool::ReleaseStale() {
  for (const auto& set : sets_) ReleaseStaleMeshBuffers(*set);
}

void ReleaseStaleMeshBuffers(TMeshBuffers& buffers) {
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
