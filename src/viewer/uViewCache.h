// The views a viewer window keeps at hand: the 2D scenes and 3D models of the last views, by
// file version, record and mode, within a memory budget for each kind, so that a step back, a
// toggle back or a return to a file draws without the converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "formats/uSDFData.h"
#include "model3d/uMeshModel.h"
#include "support/uConfig.h"
#include "support/uFileIO.h"
#include "svg/uScene2D.h"

namespace pelorin {

// One view of one version of a file. The stamp tells a rewritten file from the one that was
// converted; the settings' generation tells views made under other converter options or
// another 3D model choice.
struct TViewKey {
  std::string Path;
  TFileStamp Stamp;
  int32_t Record = 0;
  TViewMode Mode = TViewMode::k2D;
  uint64_t Settings = 0;
};
bool operator==(const TViewKey& a, const TViewKey& b);
bool operator!=(const TViewKey& a, const TViewKey& b);
bool operator<(const TViewKey& a, const TViewKey& b);

// What a finished load gave and the window shows: the scene (a 2D drawing; in 3D only its view
// box) and, in 3D, the model; the record's title and data fields.
struct TKeptView {
  TSVGScene Scene;
  std::shared_ptr<TMeshModel> Model;
  TSDFRecordData Data;
};

// Heap bytes a scene holds: its elements, their points and texts.
uint64_t SceneHeapBytes(const TSVGScene& scene);
// Bytes a model holds: a surface's mesh arrays while it has them, else the driver's copy made
// from them (a packed vertex, its shadow position and an index per corner); an atom model's as
// the memory budget counts them (AtomModelHeldBytes).
uint64_t ModelHeapBytes(const TMeshModel& model);
uint64_t KeptViewBytes(const TKeptView& view);

struct TViewCacheLimits {
  uint64_t SceneBytes = uint64_t{64} << 20;   // the 2D scenes
  uint64_t ModelBytes = uint64_t{512} << 20;  // the 3D models, also within the surface budget
};

// Least recently used views go first, each kind within its own budget; a view larger than its
// budget is not kept at all. The shown view is not in the cache: the window takes a view out
// when it shows it and puts it back when it shows another.
class TViewCache {
 public:
  explicit TViewCache(TViewCacheLimits limits = {});

  // The kept view of `key`, taken out of the cache; nullopt when none is kept.
  std::optional<TKeptView> Take(const TViewKey& key);
  bool Holds(const TViewKey& key) const;
  // Keeps `view` as the most recently used, in place of one kept under the same key. Views of
  // the same path with another stamp go (the file changed); then the least recently used of
  // the view's kind until the kind is within its budget. False when the view was not kept.
  bool Keep(const TViewKey& key, TKeptView view);
  // A new budget for 3D models (the free memory changes); models beyond it go.
  void SetModelLimit(uint64_t bytes);
  void Clear();

  uint64_t SceneBytes() const { return sceneBytes_; }
  uint64_t ModelBytes() const { return modelBytes_; }
  size_t Count() const { return recent_.size(); }
  const TViewCacheLimits& Limits() const { return limits_; }

 private:
  struct TEntry {
    TViewKey Key;
    TKeptView View;
    uint64_t Bytes = 0;
    bool IsModel = false;
  };
  using TEntries = std::list<TEntry>;

  void Erase(TEntries::iterator entry);
  void ForgetOtherVersions(const TViewKey& key);
  void EvictOverBudget(bool models);

  TViewCacheLimits limits_;
  TEntries recent_;  // most recently used first
  std::map<TViewKey, TEntries::iterator> index_;
  uint64_t sceneBytes_ = 0;
  uint64_t modelBytes_ = 0;
};

}  // namespace pelorin
