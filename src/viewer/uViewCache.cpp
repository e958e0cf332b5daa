// The views a viewer window keeps at hand, within a memory budget for each kind.
#include "viewer/uViewCache.h"

#include <tuple>
#include <utility>

#include "model3d/uSurfaceBudget.h"

namespace pelorin {
namespace {

auto Tied(const TViewKey& k) {
  return std::tie(k.Path, k.Stamp.Size, k.Stamp.WriteTime, k.Record, k.Mode, k.Settings);
}

uint64_t StringBytes(const std::string& s) {
  return s.capacity();  // a short text lives inside the string: counted a little high
}

template <typename TVector>
uint64_t CapacityBytes(const TVector& v) {
  return static_cast<uint64_t>(v.capacity()) * sizeof(typename TVector::value_type);
}

}  // namespace

bool operator==(const TViewKey& a, const TViewKey& b) {
  return Tied(a) == Tied(b);
}

bool operator!=(const TViewKey& a, const TViewKey& b) {
  return !(a == b);
}

bool operator<(const TViewKey& a, const TViewKey& b) {
  return Tied(a) < Tied(b);
}

uint64_t SceneHeapBytes(const TSVGScene& scene) {
  uint64_t bytes = CapacityBytes(scene.Elements);
  for (const TGeoElement& e : scene.Elements) {  // every entry of the capacity is made
    bytes += CapacityBytes(e.Points);
    for (const std::string* text : {&e.Text, &e.TextAnchor, &e.FontWeight, &e.FontFamily, &e.FontStyle})
      bytes += StringBytes(*text);
  }
  return bytes;
}

uint64_t ModelHeapBytes(const TMeshModel& model) {
  if (model.Kind == TModelKind::Atoms) return AtomModelHeldBytes(model);
  if (MeshArraysHeld(model))
    return CapacityBytes(model.MeshVertices) + CapacityBytes(model.MeshNormals) + CapacityBytes(model.MeshColors) +
           CapacityBytes(model.ShadowVertices);
  constexpr uint64_t kDriverBytesPerCorner = sizeof(TPackedVertex) + 3 * sizeof(float) + sizeof(uint32_t);
  return static_cast<uint64_t>(model.MeshVertexCount > 0 ? model.MeshVertexCount : 0) * kDriverBytesPerCorner;
}

uint64_t KeptViewBytes(const TKeptView& view) {
  uint64_t data = view.Data.Title.capacity() + view.Data.Items.capacity() * sizeof(TDataItem);
  for (const TDataItem& item : view.Data.Items) data += item.Name.capacity() + item.Value.capacity();
  return sizeof(TKeptView) + SceneHeapBytes(view.Scene) + (view.Model ? ModelHeapBytes(*view.Model) : 0) + data;
}

TViewCache::TViewCache(TViewCacheLimits limits) : limits_(limits) {}

std::optional<TKeptView> TViewCache::Take(const TViewKey& key) {
  auto found = index_.find(key);
  if (found == index_.end()) return std::nullopt;
  TKeptView view = std::move(found->second->View);
  Erase(found->second);
  return view;
}

bool TViewCache::Holds(const TViewKey& key) const {
  return index_.count(key) != 0;
}

bool TViewCache::Keep(const TViewKey& key, TKeptView view) {
  auto same = index_.find(key);
  if (same != index_.end()) Erase(same->second);
  ForgetOtherVersions(key);
  TEntry entry;
  entry.IsModel = view.Model != nullptr;
  entry.Bytes = KeptViewBytes(view);
  if (entry.Bytes > (entry.IsModel ? limits_.ModelBytes : limits_.SceneBytes)) return false;
  entry.Key = key;
  entry.View = std::move(view);
  recent_.push_front(std::move(entry));
  index_.emplace(key, recent_.begin());
  (recent_.front().IsModel ? modelBytes_ : sceneBytes_) += recent_.front().Bytes;
  EvictOverBudget(recent_.front().IsModel);
  return true;
}

void TViewCache::SetModelLimit(uint64_t bytes) {
  limits_.ModelBytes = bytes;
  EvictOverBudget(true);
}

void TViewCache::Clear() {
  index_.clear();
  recent_.clear();
  sceneBytes_ = modelBytes_ = 0;
}

void TViewCache::Erase(TEntries::iterator entry) {
  (entry->IsModel ? modelBytes_ : sceneBytes_) -= entry->Bytes;
  index_.erase(entry->Key);
  recent_.erase(entry);
}

void TViewCache::ForgetOtherVersions(const TViewKey& key) {
  for (auto it = recent_.begin(); it != recent_.end();) {
    auto next = std::next(it);
    if (it->Key.Path == key.Path && it->Key.Stamp != key.Stamp) Erase(it);
    it = next;
  }
}

void TViewCache::EvictOverBudget(bool models) {
  const uint64_t limit = models ? limits_.ModelBytes : limits_.SceneBytes;
  uint64_t& held = models ? modelBytes_ : sceneBytes_;
  for (auto it = recent_.end(); held > limit && it != recent_.begin();) {
    --it;
    if (it->IsModel != models) continue;
    auto older = it;
    it = std::next(it);  // stays valid: the erased entry lies before it
    Erase(older);
  }
}

}  // namespace pelorin
