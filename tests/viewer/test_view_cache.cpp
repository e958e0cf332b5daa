// The views a window keeps at hand: found again by file version, record, mode and settings,
// each kind within its budget, the least recently used first.
#include <gtest/gtest.h>

#include <string>

#include "model3d/uAtomModel.h"
#include "model3d/uSurfaceBudget.h"
#include "test_drawing.h"
#include "viewer/uViewCache.h"
#include "viewer/uViewerLogic.h"

using namespace pelorin;
using pelorin_test::SceneOf;
using pelorin_test::Text;

namespace {

TViewKey Key(const std::string& path, int32_t record, TViewMode mode = TViewMode::k2D, uint64_t size = 100) {
  return TViewKey{path, TFileStamp{size, 7}, record, mode, 1};
}

// A drawing of `labels` texts whose heap bytes grow with their number.
TKeptView Drawing(int labels, const std::string& name = "label") {
  TSVGScene scene;
  for (int i = 0; i < labels; ++i)
    AddElement(scene, Text(name + " " + std::to_string(i) + std::string(40, 'x'), {1, 2}, 10));
  return TKeptView{scene, nullptr, {}};
}

// A 3D model of `facets` facets, its mesh arrays held as a load leaves them.
TKeptView Model(int facets) {
  auto model = std::make_shared<TMeshModel>();
  PrepareMeshBuffers(*model, TFacetArray(static_cast<size_t>(facets)));
  return TKeptView{SceneOf({}, 200), model, {}};
}

}  // namespace

TEST(ViewCache, AViewComesBackOnlyForItsOwnFileVersionRecordModeAndSettings) {
  TViewCache cache;
  const TViewKey key = Key("a.sdf", 2);
  ASSERT_TRUE(cache.Keep(key, Drawing(3, "caffeine")));
  TViewKey other = key;
  other.Record = 3;
  EXPECT_FALSE(cache.Holds(other));
  other = key;
  other.Mode = TViewMode::k3D;
  EXPECT_FALSE(cache.Holds(other));
  other = key;
  other.Settings = 2;  // made under other converter options
  EXPECT_FALSE(cache.Holds(other));
  other = key;
  other.Stamp.WriteTime = 8;  // the file was written again
  EXPECT_FALSE(cache.Take(other));

  std::optional<TKeptView> view = cache.Take(key);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Scene.Count, 3);
  EXPECT_EQ(view->Scene.Elements[0].Text.rfind("caffeine 0", 0), 0u);
  EXPECT_FALSE(cache.Holds(key)) << "a view taken out is shown, and put back when the window shows another";
  EXPECT_EQ(cache.SceneBytes(), 0u);

  // A file that changed leaves none of its old views behind; other files keep theirs.
  cache.Keep(Key("a.sdf", 0), Drawing(1));
  cache.Keep(Key("a.sdf", 1), Drawing(1));
  cache.Keep(Key("b.mol", 0), Drawing(1));
  cache.Keep(Key("a.sdf", 5, TViewMode::k2D, 200), Drawing(1));
  EXPECT_FALSE(cache.Holds(Key("a.sdf", 0)));
  EXPECT_FALSE(cache.Holds(Key("a.sdf", 1)));
  EXPECT_TRUE(cache.Holds(Key("b.mol", 0)));
  EXPECT_EQ(cache.Count(), 2u);
  cache.Clear();
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.SceneBytes() + cache.ModelBytes(), 0u);
}

TEST(ViewCache, EachKindStaysWithinItsBudgetTheLeastRecentlyUsedGoingFirst) {
  const uint64_t drawing = KeptViewBytes(Drawing(20));
  TViewCache cache({10 * drawing + drawing / 2, uint64_t{1} << 30});
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(cache.Keep(Key("lib.sdf", i), Drawing(20)));
  EXPECT_EQ(cache.SceneBytes(), 10 * drawing);
  // Record 0 is shown again and left: the most recently used now, so record 1 goes first.
  ASSERT_TRUE(cache.Keep(Key("lib.sdf", 0), *cache.Take(Key("lib.sdf", 0))));
  ASSERT_TRUE(cache.Keep(Key("lib.sdf", 10), Drawing(20)));
  EXPECT_TRUE(cache.Holds(Key("lib.sdf", 0)));
  EXPECT_FALSE(cache.Holds(Key("lib.sdf", 1)));
  EXPECT_TRUE(cache.Holds(Key("lib.sdf", 2)));
  EXPECT_LE(cache.SceneBytes(), cache.Limits().SceneBytes);
  for (int i = 11; i < 200; ++i) cache.Keep(Key("lib.sdf", i), Drawing(20 + i % 7));
  EXPECT_LE(cache.SceneBytes(), cache.Limits().SceneBytes);
  EXPECT_TRUE(cache.Holds(Key("lib.sdf", 199)));

  // Models have a budget of their own: they never push drawings out, and one larger than its
  // budget is not kept at all.
  const uint64_t scenes = cache.SceneBytes();
  const uint64_t model = KeptViewBytes(Model(1000));
  cache.SetModelLimit(3 * model);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(cache.Keep(Key("lib.sdf", i, TViewMode::k3D), Model(1000)));
  EXPECT_EQ(cache.ModelBytes(), 3 * model);
  EXPECT_EQ(cache.SceneBytes(), scenes);
  EXPECT_TRUE(cache.Holds(Key("lib.sdf", 4, TViewMode::k3D)));
  EXPECT_FALSE(cache.Holds(Key("lib.sdf", 1, TViewMode::k3D)));
  EXPECT_FALSE(cache.Keep(Key("big.pdb", 0, TViewMode::k3D), Model(4000)));
  EXPECT_FALSE(cache.Holds(Key("big.pdb", 0, TViewMode::k3D)));
  // Less free memory: models go until they fit.
  cache.SetModelLimit(model);
  EXPECT_EQ(cache.ModelBytes(), model);
  EXPECT_TRUE(cache.Holds(Key("lib.sdf", 4, TViewMode::k3D)));
}

TEST(ViewCache, MemoryOfAViewIsCountedFromWhatItHolds) {
  EXPECT_GT(SceneHeapBytes(Drawing(100).Scene), 100 * (sizeof(TGeoElement) + 40));
  EXPECT_GT(SceneHeapBytes(Drawing(200).Scene), SceneHeapBytes(Drawing(100).Scene));
  // A model that still holds its mesh arrays (made ahead of its step): three vertices of
  // position, normal and colour a facet; once drawn, the driver's copy of its corners.
  TKeptView view = Model(1000);
  EXPECT_GE(ModelHeapBytes(*view.Model), 1000u * 3 * 9 * sizeof(float));
  ReleaseMeshArrays(*view.Model);
  EXPECT_EQ(ModelHeapBytes(*view.Model), 3000u * (sizeof(TPackedVertex) + 3 * sizeof(float) + sizeof(uint32_t)));
  EXPECT_GT(KeptViewBytes(view), ModelHeapBytes(*view.Model));

  // An atom model as the memory budget counts it: as spheres its atoms and the driver's copy of
  // them (a surface's counting would find no mesh and count nothing); as meshes also the
  // spheres' mesh arrays, then the driver's copy of their shared corners.
  const TAtomArray atoms(1000, TAtom{"C", 1, 2, 3});
  for (TAtomDrawing drawing : {TAtomDrawing::Impostors, TAtomDrawing::Meshes}) {
    TMeshModel model;
    std::string error;
    ASSERT_TRUE(BuildAtomModel(atoms, drawing, model, error)) << error;
    const uint64_t budget = atoms.size() * AtomModelBytesPerAtom(1000, drawing);
    EXPECT_GE(ModelHeapBytes(model), atoms.size() * 2 * sizeof(TAtomSphere));
    EXPECT_LE(ModelHeapBytes(model), budget) << "never above what the budget let in";
    if (drawing == TAtomDrawing::Impostors) continue;
    EXPECT_GE(ModelHeapBytes(model), static_cast<uint64_t>(model.FacetCount) * kMeshArrayBytesPerFacet);
    ReleaseMeshArrays(model);
    const uint64_t perSphere = SphereMeshDriverBytes(static_cast<uint64_t>(model.FacetCount) / atoms.size());
    EXPECT_EQ(ModelHeapBytes(model), atoms.size() * (sizeof(TAtomSphere) + perSphere));
  }
}

TEST(ViewerInput, PrefetchFollowsTheLastStepAndStopsAtTheEnds) {
  EXPECT_EQ(PrefetchRecord(0, 3, 1), 1);
  EXPECT_EQ(PrefetchRecord(1, 3, -1), 0);
  EXPECT_EQ(PrefetchRecord(2, 3, 1), -1);
  EXPECT_EQ(PrefetchRecord(0, 3, -1), -1);
  EXPECT_EQ(PrefetchRecord(0, 1, 1), -1);  // one record, or the count not yet known
}
