// Tests of the 3D view's geometry: the fit of an atom model into windows of every shape, the views
// a surface and an atom model are drawn in, the depth a turned model spans and the depth cue's
// fade over it, the culling of hidden spheres and of shadows that darken nothing more, and the
// tiles of a picture made for a page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/uAtomCulling.h"
#include "render/uPictureTiles.h"
#include "render/uView3D.h"
#include "render/uViewValues.h"

namespace pelorin {
namespace {

TAtomSphere Carbon(float x, float y, float z) {
  return {x, y, z, 0x90, 0x90, 0x90, 109};  // 1.70 Angstrom
}

// A chain of 120 atoms 1.5 Angstrom apart along a slanted line: long and thin.
std::vector<TAtomSphere> Rod() {
  std::vector<TAtomSphere> atoms;
  for (int i = 0; i < 120; ++i) atoms.push_back(Carbon(1.5f * i, 0.2f * i, -0.3f * i));
  return atoms;
}

// Atoms 1.5 Angstrom apart filling a ball of radius 20 around (5, -7, 3): round.
std::vector<TAtomSphere> Ball() {
  std::vector<TAtomSphere> atoms;
  for (float x = -20; x <= 20; x += 1.5f)
    for (float y = -20; y <= 20; y += 1.5f)
      for (float z = -20; z <= 20; z += 1.5f)
        if (x * x + y * y + z * z <= 400) atoms.push_back(Carbon(5 + x, -7 + y, 3 + z));
  return atoms;
}

// Where the atoms' outlines land in a width x height window of the fitted view (pixels, y down).
struct TPixelBox {
  double Left = 1e30, Right = -1e30, Top = 1e30, Bottom = -1e30;
};
TPixelBox PictureOf(const std::vector<TAtomSphere>& atoms, const TAtomFit& fit, int width, int height) {
  const TViewTurn turn(kResetRotX, kResetRotY);
  const double perUnit = height / (2.0 * fit.HalfHeight);
  TPixelBox box;
  for (const TAtomSphere& atom : atoms) {
    const TVec3 seen = turn.Apply(VecSub({atom.X, atom.Y, atom.Z}, fit.Pivot));
    const double x = width / 2.0 + seen.X * perUnit, y = height / 2.0 - seen.Y * perUnit;
    const double r = SphereRadius(atom) * perUnit;
    box.Left = std::min(box.Left, x - r), box.Right = std::max(box.Right, x + r);
    box.Top = std::min(box.Top, y - r), box.Bottom = std::max(box.Bottom, y + r);
  }
  return box;
}

// The atom model's extent seen as the view first shows it fills 85 % or more of the window's
// height or width, whichever binds, all of it inside and centred: the same margin at every size.
TEST(AtomFit, LongAndRoundModelsFillWindowsOfEveryShape) {
  const struct {
    const char* name;
    std::vector<TAtomSphere> atoms;
  } models[] = {{"long and thin", Rod()}, {"round", Ball()}};
  const int sizes[][2] = {{800, 600}, {600, 800}, {1600, 300}, {300, 1600}, {400, 272}, {64, 64}, {2, 1}};
  for (const auto& model : models) {
    const TVec3 centre = {50, -3, 10};  // any point: the pivot moves the extent to the middle
    const TViewExtent extent = ProjectedAtomExtent(model.atoms, centre, kResetRotX, kResetRotY);
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::string(model.name) + " in " + std::to_string(size[0]) + "x" + std::to_string(size[1]));
      const TAtomFit fit = FitAtomExtent(extent, centre, kResetRotX, kResetRotY, size[0], size[1]);
      const TPixelBox box = PictureOf(model.atoms, fit, size[0], size[1]);
      const double fill = std::max((box.Right - box.Left) / size[0], (box.Bottom - box.Top) / size[1]);
      EXPECT_GE(fill, 0.85);
      EXPECT_NEAR(fill, kAtomFillShare, 1e-4);
      const double tolerance = 1e-3 * std::max(size[0], size[1]);
      EXPECT_NEAR(box.Left, size[0] - box.Right, tolerance) << "as much margin left as right";
      EXPECT_NEAR(box.Top, size[1] - box.Bottom, tolerance) << "as much above as below";
      EXPECT_GT(box.Left, 0);
      EXPECT_GT(box.Top, 0);
    }
  }
  // A bounding sphere would leave the rod far smaller in a wide window: its extent binds by width.
  const TViewExtent rod = ProjectedAtomExtent(Rod(), {0, 0, 0}, kResetRotX, kResetRotY);
  EXPECT_GT((rod.Right - rod.Left) / (rod.Top - rod.Bottom), 3);

  const TAtomFit none = FitAtomExtent({}, {1, 2, 3}, kResetRotX, kResetRotY, 800, 600);
  EXPECT_FLOAT_EQ(none.HalfHeight, 1) << "no extent: shown as one of unit size";
  EXPECT_FLOAT_EQ(none.Pivot.Y, 2);
}

// A model whose bounds are the box lo..hi.
TMeshModel BoxModel(TVec3 lo, TVec3 hi) {
  TMeshModel model;
  StoreBox(lo, hi, model);
  return model;
}

// An atom model of `atoms`, its bounds around their spheres.
TMeshModel AtomModelOf(const std::vector<TAtomSphere>& atoms) {
  TVec3 lo{HUGE_VALF, HUGE_VALF, HUGE_VALF}, hi{-HUGE_VALF, -HUGE_VALF, -HUGE_VALF};
  for (const TAtomSphere& a : atoms) {
    const float r = SphereRadius(a);
    lo = {std::min(lo.X, a.X - r), std::min(lo.Y, a.Y - r), std::min(lo.Z, a.Z - r)};
    hi = {std::max(hi.X, a.X + r), std::max(hi.Y, a.Y + r), std::max(hi.Z, a.Z + r)};
  }
  TMeshModel model = BoxModel(lo, hi);
  model.Kind = TModelKind::Atoms;
  model.Atoms = atoms;
  return model;
}

// How far from `pivot` the farthest corner of the model's bounds lies: the box must reach it
// before and behind the pivot however the model turns.
double FarthestCorner(const TMeshModel& model, const TVec3& pivot) {
  double farthest = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const TVec3 at{model.ModelCenter.X + (corner & 1 ? model.HalfExtent.X : -model.HalfExtent.X),
                   model.ModelCenter.Y + (corner & 2 ? model.HalfExtent.Y : -model.HalfExtent.Y),
                   model.ModelCenter.Z + (corner & 4 ? model.HalfExtent.Z : -model.HalfExtent.Z)};
    farthest = std::max(farthest, double(VecLength(VecSub(at, pivot))));
  }
  return farthest;
}

// The surface keeps the whole area, covered band and all, and its diameter (twice its radius, the
// largest half extent of its bounds) takes 0.74 of the area's height at zoom 1: radius 0.37. It
// turns about the centre of its bounds, undistorted, in a box that reaches past every corner.
TEST(SurfaceFit, DiameterTakes074OfTheAreasHeightAndTheWholeArea) {
  TMeshModel model = BoxModel({-1, 2, 3}, {5, 4, 6});  // radius 3 about (2, 3, 4.5)
  TViewValues view;
  view.RotX = 12, view.RotY = 34;
  const TDrawArea area{800, 600, 28, 10, -20};
  TView3D v = SurfaceView(model, area, view);
  EXPECT_EQ(v.X, 10);
  EXPECT_EQ(v.Y, -20);
  EXPECT_EQ(v.Width, 800);
  EXPECT_EQ(v.Height, 600) << "the covered band is the surface's too";
  EXPECT_NEAR(2 * 3 * v.PixelsPerUnit() / area.Height, 0.74, 0.001) << "the diameter";
  EXPECT_NEAR(3 * v.PixelsPerUnit() / area.Height, 0.37, 0.001) << "the radius";
  EXPECT_DOUBLE_EQ(v.HalfWidth / v.HalfHeight, 800.0 / 600) << "undistorted";
  EXPECT_FLOAT_EQ(v.Pivot.X, 2);
  EXPECT_FLOAT_EQ(v.Pivot.Y, 3);
  EXPECT_FLOAT_EQ(v.Pivot.Z, 4.5f);
  EXPECT_FLOAT_EQ(v.RotX, 12);
  EXPECT_FLOAT_EQ(v.RotY, 34);
  EXPECT_GE(v.Depth, FarthestCorner(model, v.Pivot));

  view.Zoom3D = 2;
  v = SurfaceView(model, area, view);
  EXPECT_NEAR(2 * 3 * v.PixelsPerUnit() / area.Height, 1.48, 0.002) << "zoomed in twice";
  v = SurfaceView(model, {300, 0}, view);
  EXPECT_EQ(v.Height, 1);
  EXPECT_DOUBLE_EQ(v.HalfWidth, v.HalfHeight) << "no height: square";
  EXPECT_EQ(ModelView(model, area, view).Height, 600) << "a model without atoms is fitted as a surface";
}

// An atom model is fitted by its first view's extent into the area above the covered band; the fit
// is kept in the model, so that turning the model changes neither its size nor its pivot. The box
// reaches past every sphere however the model turns.
TEST(AtomFit, AtomViewFitsAboveTheCoveredBandAndKeepsItsFitWhenTurned) {
  TMeshModel model = AtomModelOf(Rod());
  TViewValues view;
  const TDrawArea area{800, 600, 28, 10, 5};
  const TView3D first = AtomView(model, area, view);
  EXPECT_EQ(first.X, 10);
  EXPECT_EQ(first.Y, 5 + 28) << "above the covered band";
  EXPECT_EQ(first.Width, 800);
  EXPECT_EQ(first.Height, 572);
  const TAtomFit fit = FitAtomExtent(ProjectedAtomExtent(model.Atoms, model.ModelCenter, kResetRotX, kResetRotY),
                                     model.ModelCenter, kResetRotX, kResetRotY, 800, 572);
  EXPECT_FLOAT_EQ(static_cast<float>(first.HalfHeight), fit.HalfHeight);
  EXPECT_FLOAT_EQ(first.Pivot.X, fit.Pivot.X);
  EXPECT_FLOAT_EQ(first.Pivot.Y, fit.Pivot.Y);
  EXPECT_DOUBLE_EQ(first.HalfWidth / first.HalfHeight, 800.0 / 572);
  ASSERT_TRUE(model.DefaultExtent.has_value()) << "kept for the next frames";
  for (const TAtomSphere& atom : model.Atoms)
    ASSERT_LE(VecLength(VecSub({atom.X, atom.Y, atom.Z}, first.Pivot)) + SphereRadius(atom), first.Depth);

  view.RotX = 70, view.RotY = 140;
  const TView3D turned = AtomView(model, area, view);
  EXPECT_DOUBLE_EQ(turned.HalfHeight, first.HalfHeight) << "turning does not resize";
  EXPECT_FLOAT_EQ(turned.Pivot.Z, first.Pivot.Z);
  EXPECT_FLOAT_EQ(turned.RotX, 70);
  view.Zoom3D = 2;
  EXPECT_DOUBLE_EQ(AtomView(model, area, view).HalfHeight, first.HalfHeight / 2);
  EXPECT_EQ(ModelView(model, area, view).Height, 572) << "an atom model is fitted by its atoms";

  EXPECT_EQ(AtomView(model, {800, 600, 1000}, view).Height, 1) << "a band over all of the area leaves a row";
  EXPECT_EQ(AtomView(model, {800, 600, -5}, view).Height, 600) << "no band";
}

TEST(ViewTurn, UndoesWhatItAppliesInTheViewsOrder) {
  const TViewTurn turn(kResetRotX, kResetRotY);
  const TVec3 v{1.5f, -2, 0.25f};
  const TVec3 back = turn.Undo(turn.Apply(v));
  EXPECT_NEAR(back.X, v.X, 1e-5);
  EXPECT_NEAR(back.Y, v.Y, 1e-5);
  EXPECT_NEAR(back.Z, v.Z, 1e-5);
  // Turned about y first: a quarter turn about y takes +x away from the viewer, then about x
  // takes the viewer's +z up.
  const TVec3 x = TViewTurn(0, 90).Apply({1, 0, 0});
  EXPECT_NEAR(x.Z, -1, 1e-6);
  const TVec3 z = TViewTurn(90, 90).Apply({1, 0, 0});
  EXPECT_NEAR(z.Y, 1, 1e-6);
}

TEST(DepthCue, FadesLinearlyFromTheNearestToTheFarthestPoint) {
  TDepthSpan span = TurnedDepthSpan({10, 0, 0}, {1, 2, 3}, {10, 0, 0}, 0, 0);
  EXPECT_FLOAT_EQ(span.Nearest, 3);
  EXPECT_FLOAT_EQ(span.Farthest, -3);
  span = TurnedDepthSpan({0, 0, 5}, {1, 2, 3}, {0, 0, 0}, 0, 90);  // x now runs along the depth
  EXPECT_NEAR(span.Nearest, 1, 1e-5);
  EXPECT_NEAR(span.Farthest, -1, 1e-5);

  const TDepthCueFade fade = DepthCueFade(10, 20);
  auto share = [&](float d) { return fade.Constant + fade.PerDistance * d; };
  EXPECT_FLOAT_EQ(share(10), 1);
  EXPECT_FLOAT_EQ(share(20), kFarthestDepthCueShare);
  EXPECT_FLOAT_EQ(share(15), (1 + kFarthestDepthCueShare) / 2);
  EXPECT_FLOAT_EQ(fade.Start(), 10);
  EXPECT_FLOAT_EQ(share(fade.End()), 0);
  const TDepthCueFade flat = DepthCueFade(10, 10);
  EXPECT_FLOAT_EQ(flat.Constant + flat.PerDistance * 12, 1) << "a flat model keeps its colours";

  // A model 4 deep seen straight on, its centre 10 in front of the eye: its front keeps all of its
  // colour, its back kFarthestDepthCueShare.
  const TMeshModel model = BoxModel({-1, -1, -2}, {1, 1, 2});
  TView3D seen;
  seen.Depth = 10;
  const TDepthCueFade cue = ModelDepthCue(model, seen);
  EXPECT_FLOAT_EQ(cue.Constant + cue.PerDistance * 8, 1);
  EXPECT_FLOAT_EQ(cue.Constant + cue.PerDistance * 12, kFarthestDepthCueShare);
}

// The view the renderer fits a model into: width x height pixels, the first turn.
TCullView FittedView(const std::vector<TAtomSphere>& atoms, int width, int height) {
  const TVec3 centre{0, 0, 0};
  const TAtomFit fit = FitAtomExtent(ProjectedAtomExtent(atoms, centre, kResetRotX, kResetRotY), centre, kResetRotX,
                                     kResetRotY, width, height);
  return {width, height, fit.HalfHeight * width / height, fit.HalfHeight, fit.Pivot, kResetRotX, kResetRotY};
}

// Every pixel's nearest sphere, the plain way: what a depth test leaves of the picture.
std::vector<int> NearestSpheres(const std::vector<TAtomSphere>& atoms, const TCullView& view) {
  const TViewTurn turn(view.RotX, view.RotY);
  const double perUnit = view.Height / (2 * view.HalfHeight);
  std::vector<double> depth(static_cast<size_t>(view.Width) * view.Height, 1e30);
  std::vector<int> nearest(depth.size(), -1);
  for (size_t i = 0; i < atoms.size(); ++i) {
    const TVec3 seen = turn.Apply(VecSub({atoms[i].X, atoms[i].Y, atoms[i].Z}, view.Pivot));
    const double x = view.Width / 2.0 + seen.X * perUnit, y = view.Height / 2.0 + seen.Y * perUnit;
    const double r = SphereRadius(atoms[i]) * perUnit;
    for (int row = 0; row < view.Height; ++row)
      for (int column = 0; column < view.Width; ++column) {
        const double dx = column + 0.5 - x, dy = row + 0.5 - y, h = r * r - dx * dx - dy * dy;
        if (h < 0) continue;
        const double d = -seen.Z - std::sqrt(h) / perUnit;
        const size_t at = static_cast<size_t>(row) * view.Width + column;
        if (d < depth[at]) depth[at] = d, nearest[at] = static_cast<int>(i);
      }
  }
  return nearest;
}

// Only the spheres that show in a pixel are kept: every one a depth test leaves in the picture,
// far fewer than all in a dense model, the nearest of a row straight behind one another.
TEST(AtomCulling, KeepsEverySphereThatShowsAndDropsHiddenOnes) {
  const std::vector<TAtomSphere> ball = Ball();
  const TCullView view = FittedView(ball, 160, 120);
  TAtomCuller culler;
  const std::vector<uint32_t> kept = culler.VisibleSpheres(ball, view);
  EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
  std::vector<bool> isKept(ball.size());
  for (uint32_t i : kept) isKept[i] = true;
  size_t shown = 0;
  for (int nearest : NearestSpheres(ball, view))
    if (nearest >= 0) {
      ++shown;
      ASSERT_TRUE(isKept[static_cast<size_t>(nearest)]) << "atom " << nearest << " shows but was dropped";
    }
  EXPECT_GT(shown, 0u);
  EXPECT_LT(kept.size(), ball.size() / 2) << kept.size() << " of " << ball.size();
  EXPECT_EQ(culler.Spheres(), kept);

  // A row along the viewer's line of sight, smaller atoms behind a carbon: only it shows.
  std::vector<TAtomSphere> row;
  const TViewTurn turn(kResetRotX, kResetRotY);
  for (int i = 0; i < 5; ++i) {
    const TVec3 at = turn.Undo({0, 0, -5.0f * i});
    row.push_back(Carbon(at.X, at.Y, at.Z));
    if (i > 0) row.back().Radius = 70;  // hydrogen's 1.10 Angstrom
  }
  EXPECT_EQ(culler.VisibleSpheres(row, FittedView(row, 80, 60)), std::vector<uint32_t>{0});
  EXPECT_TRUE(culler.VisibleSpheres(row, {80, 60, 1, 1, {1000, 0, 0}, 0, 0}).empty()) << "all outside the picture";
}

// The shadows over each pixel: one under a single atom's ellipse, none beside it, and no more
// than kShadowLayersSeen however many atoms stand above one another.
TEST(AtomCulling, ShadowLayersCountUpToWhatShows) {
  const std::vector<TAtomSphere> one = {Carbon(0, 5, 0)};
  TMeshModel model;
  model.Atoms = one;
  model.ModelCenter = {0, 5, 0};
  model.ModelRadius = 2;
  const TCullView view{100, 100, 10, 10, {0, 5, 0}, kResetRotX, kResetRotY};
  TAtomCuller culler;
  const std::vector<uint8_t> single = culler.ShadowLayers(one, view, TShadowProjection(model));
  ASSERT_EQ(single.size(), 100u * 100u);
  const size_t covered = static_cast<size_t>(std::count(single.begin(), single.end(), 1));
  EXPECT_EQ(covered + static_cast<size_t>(std::count(single.begin(), single.end(), 0)), single.size());
  // The ellipse of a sphere of 1.7 Angstrom (8.5 pixels) seen at 20 degrees and drawn in to 0.78
  // of its width by the light's lean: pi 8.5^2 sin 20 0.78, about 60 pixels.
  EXPECT_GT(covered, 45u);
  EXPECT_LT(covered, 75u);

  std::vector<TAtomSphere> stack(kShadowLayersSeen + 5, Carbon(0, 5, 0));
  const std::vector<uint8_t> stacked = culler.ShadowLayers(stack, view, TShadowProjection(model));
  for (size_t i = 0; i < stacked.size(); ++i) ASSERT_EQ(stacked[i], single[i] ? kShadowLayersSeen : 0) << i;

  EXPECT_EQ(
      std::count(culler.ShadowLayers(one, {100, 100, 10, 10, {0, 5, 0}, 0, 0}, TShadowProjection(model)).begin(),
                 culler.ShadowLayers(one, {100, 100, 10, 10, {0, 5, 0}, 0, 0}, TShadowProjection(model)).end(), 0),
      100 * 100)
      << "a ground seen edge-on has no shadow";
}

// A page's picture made a tile at a time: the tiles cover it once, the size fits the page and
// keeps to the driver's and the memory's bounds, and the placed tiles meet edge to edge.
TEST(PictureTiles, CoverFitKeepToTheirBoundsAndMeetOnThePage) {
  const std::vector<TPictureTile> tiles = PictureTiles({1000, 650}, {400, 300});
  ASSERT_EQ(tiles.size(), 9u);
  std::vector<int> covered(1000 * 650);
  for (const TPictureTile& t : tiles)
    for (int y = t.Y; y < t.Y + t.Height; ++y)
      for (int x = t.X; x < t.X + t.Width; ++x) ++covered[y * 1000 + x];
  EXPECT_TRUE(std::all_of(covered.begin(), covered.end(), [](int n) { return n == 1; }));
  EXPECT_TRUE(PictureTiles({0, 650}, {400, 300}).empty());
  EXPECT_TRUE(PictureTiles({1000, 650}, {400, 0}).empty());

  EXPECT_EQ(FitPicture({800, 572}, {4658, 6000}), (TPictureSize{4658, 3330})) << "the width binds";
  EXPECT_EQ(FitPicture({300, 900}, {4658, 6000}), (TPictureSize{2000, 6000})) << "the height binds";
  EXPECT_EQ(FitPicture({800, 0}, {4658, 6000}), TPictureSize{});

  EXPECT_EQ(CapPicture({4658, 3330}, 16384, 36000000), (TPictureSize{4658, 3330})) << "within both";
  EXPECT_EQ(CapPicture({20000, 10000}, 8192, 0), (TPictureSize{8192, 4096}));
  const TPictureSize capped = CapPicture({9316, 6660}, 16384, 36000000);  // 1200 dpi
  EXPECT_LE(int64_t{capped.Width} * capped.Height, 36000000);
  EXPECT_NEAR(double(capped.Width) / capped.Height, 9316.0 / 6660, 0.001);

  // Drawn at half the page's pixels: the placed tiles again cover the page's picture once.
  const TPictureSize drawn{333, 217}, placed{666, 434};
  std::vector<int> onPage(666 * 434);
  for (const TPictureTile& t : PictureTiles(drawn, {100, 70})) {
    const TPictureTile p = PlaceTile(t, drawn, placed);
    for (int y = p.Y; y < p.Y + p.Height; ++y)
      for (int x = p.X; x < p.X + p.Width; ++x) ++onPage[y * 666 + x];
  }
  EXPECT_TRUE(std::all_of(onPage.begin(), onPage.end(), [](int n) { return n == 1; }));
}

}  // namespace
}  // namespace pelorin
