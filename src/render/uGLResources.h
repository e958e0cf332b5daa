// What the renderers keep in one OpenGL context, in the one record a window owns with its
// context: the entry points and what the driver is (its version and limits), each model's
// buffers and textures, the sphere renderer's program and the text cache.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model3d/uAtomModel.h"
#include "model3d/uMeshModel.h"
#include "render/uAtomCulling.h"
#include "render/uGLFont.h"

namespace pelorin {

struct TGLFunctions;
class TGLResources;

// The driver's limits as its context reports them.
struct TGLLimits {
  int MaxViewportWidth = 0, MaxViewportHeight = 0;
  int MaxTextureSize = 0;
  float MaxPointSize = 1;  // of an aliased point, in pixels
};

// Which model a renderer's buffers hold, and which one the driver refused: that one is drawn
// from memory instead, and not offered again on every frame.
struct TUploadRecord {
  std::weak_ptr<const TMeshModel> Held;
  std::weak_ptr<const TMeshModel> Refused;
  bool Filled = false;  // the buffers hold a model's data, until ReleaseStale empties them

  bool Holds(const std::shared_ptr<const TMeshModel>& model) const { return model && Held.lock() == model; }
  bool Refuses(const std::shared_ptr<const TMeshModel>& model) const { return model && Refused.lock() == model; }
  // The buffers hold the data of a model that is gone.
  bool Stale() const { return Filled && Held.expired(); }
  // Runs `upload` (which fills the buffers with `model`) and holds the model from then on,
  // unless the driver reported an error: a driver short of memory refuses the data, and
  // drawing from an empty buffer would read past its end. Needs the buffers' context current.
  bool Upload(const std::shared_ptr<const TMeshModel>& model, const std::function<void()>& upload);
};

// One model's objects in a context: the mesh renderer's buffers of its mesh and shadow, the
// sphere renderer's buffer of its spheres and the texture of their shadow, with the culling and
// the shadow worked out for the view it was last drawn in. The names are the record's context's.
struct TModelObjects {
  explicit TModelObjects(TGLResources& owner) : Owner(owner) {}
  TModelObjects(const TModelObjects&) = delete;
  TModelObjects& operator=(const TModelObjects&) = delete;

  TGLResources& Owner;

  // The mesh renderer's: packed vertices (TPackedVertex), shadow positions, facet corners.
  uint32_t MeshBuffers[3] = {0, 0, 0};
  // Facet corners in the index buffer when the vertices are shared (atom models); 0 when the
  // mesh and shadow buffers hold three vertices a facet and are drawn in order.
  int32_t IndexCount = 0;
  TUploadRecord Mesh;

  // The sphere renderer's.
  uint32_t SphereBuffer = 0;
  TUploadRecord Spheres;
  uint32_t ShadowTexture = 0;
  std::vector<uint8_t> ShadowAlpha;  // the texture's texels as last uploaded
  // A model of kCullMinAtoms or more is drawn without the atoms that do not show (false: whole,
  // as tests compare).
  bool Cull = true;
  TAtomCuller Culler;
  // What the culler and the shadow's texture hold: worked out for this model and view, with or
  // without culling and shadow. A frame of the very same (a repaint, the next tile of a picture
  // larger than the window) draws from them without working them out again.
  struct TWorkedOut {
    std::weak_ptr<const TMeshModel> Model;
    TCullView View;
    bool Culled = false, Shadowed = false;
    bool ShadowTextureReady = false;
  };
  std::optional<TWorkedOut> WorkedOut;

  // Frees the culler's and the shadow's memory, which grows with the picture's pixels (after a
  // picture far larger than the window); the next frame works them out again.
  void ReleaseWorkingMemory();
  // Drops every name without deleting it: they belong to a context that is not current.
  void Forget();
};

// The sphere renderer's program, built once in a context.
struct TSphereProgram {
  enum class TState : uint8_t { Untried, Ready, Failed };
  TState State = TState::Untried;
  uint32_t Shaders[2] = {0, 0};  // vertex, fragment
  uint32_t Program = 0;
};

// Everything the renderers keep in one OpenGL context: no renderer keeps an object of its own.
// Names belong to the context current when they were made: the record learns its context when a
// renderer first takes it, and when another context is current at a later take it forgets its
// objects (deleting them there would free that context's objects of the same names) and makes
// them again there. Deleted with the record while their context is current, else freed by the
// context's deletion. A window owns one for its context (TWindowGL), so windows share none.
class TGLResources {
 public:
  explicit TGLResources(int64_t textBudgetBytes = TGLFontCache::kDefaultBudgetBytes);
  ~TGLResources();
  TGLResources(const TGLResources&) = delete;
  TGLResources& operator=(const TGLResources&) = delete;

  // Makes the current context the record's: forgets the objects made in another, and looks up
  // the entry points and asks the version and limits of this one. False when no context is
  // current; the record then stays as it was.
  bool TakeCurrentContext();

  // What the record's context offers, as learnt when it was taken.
  const TGLFunctions& Functions() const { return *functions_; }
  const TGLLimits& Limits() const { return limits_; }
  // The context's GL_VERSION, or the one assumed.
  std::string_view Version() const { return assumedVersion_ ? *assumedVersion_ : version_; }
  // Takes `version` as the context's GL_VERSION from now on (tests: "1.1.0" draws atom models as
  // meshes and texts without GL_CLAMP_TO_EDGE on any driver).
  void AssumeGLVersion(std::string_view version);

  // How the context draws atom models: as spheres from OpenGL 2.0 on, unless the sphere program
  // does not build there, as meshes before. Takes the current context first when the record
  // has none yet.
  TAtomDrawing AtomDrawing();

  // The objects that hold `model` (or refused it), else ones that hold no live model, else new
  // ones: the shown model and those a window keeps for a step back each have their own, so
  // that showing a kept model again uploads nothing.
  TModelObjects& For(const std::shared_ptr<const TMeshModel>& model);
  size_t ModelCount() const { return models_.size(); }
  // Empties the buffers whose model is gone (the window went to 2D or loads another model), so
  // that the driver does not keep its mesh or spheres meanwhile. Takes the current context.
  void ReleaseStale();

  TSphereProgram& SphereProgram() { return sphereProgram_; }
  // The text cache, after taking the current context.
  TGLFontCache& Text();

 private:
  void Forget();
  void DeleteAll();
  void TellTheTextCache();

  HGLRC context_ = nullptr;
  std::unique_ptr<TGLFunctions> functions_;
  TGLLimits limits_;
  std::string version_;
  std::optional<std::string> assumedVersion_;
  std::vector<std::unique_ptr<TModelObjects>> models_;
  TSphereProgram sphereProgram_;
  TGLFontCache text_;
};

}  // namespace pelorin

#endif  // _WIN32
