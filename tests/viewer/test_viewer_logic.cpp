// The viewer's input rules and status texts.
#include <gtest/gtest.h>

#include <cmath>

#include "viewer/uViewerLogic.h"

using namespace pelorin;

TEST(ViewerInput, WheelZoomStepsAndLimits) {
  float zoom = 1;
  for (int i = 0; i < 10; ++i) zoom = WheelZoom(zoom, 120, kMaxZoom2D);
  EXPECT_NEAR(zoom, std::pow(1.15, 10), 1e-3);
  zoom = 1;
  for (int i = 0; i < 50; ++i) zoom = WheelZoom(zoom, -120, kMaxZoom2D);
  EXPECT_FLOAT_EQ(zoom, 0.05f);
  zoom = 45;
  zoom = WheelZoom(zoom, 120, kMaxZoom3D);
  EXPECT_FLOAT_EQ(zoom, 50.0f);
  EXPECT_FLOAT_EQ(WheelZoom(190, 120, kMaxZoom2D), 200.0f);
}

TEST(ViewerInput, ToggleButtonRectangleIsHalfOpen) {
  const int h = 300;
  EXPECT_TRUE(HitsToggleButton(10, h - 10, h));
  EXPECT_TRUE(HitsToggleButton(8, h - 24, h));
  EXPECT_FALSE(HitsToggleButton(68, h - 10, h));
  EXPECT_FALSE(HitsToggleButton(70, h - 10, h));
  EXPECT_FALSE(HitsToggleButton(10, h - 4, h));
  EXPECT_FALSE(HitsToggleButton(7, h - 10, h));
}

TEST(ViewerInput, DragRotatesIn3DAndPansIn2D) {
  TViewValues view;
  ApplyDrag(view, 1, 100, 40, 400, 272, 100, 100);
  EXPECT_FLOAT_EQ(view.RotY, kResetRotY + 50);
  EXPECT_FLOAT_EQ(view.RotX, kResetRotX + 20);
  EXPECT_FLOAT_EQ(view.PanX, 0);

  view = TViewValues{};
  view.Zoom2D = 2;
  // 400 x 200 area, 100 x 100 view box: fit 2 px/unit, zoom 2: 4 px per unit.
  ApplyDrag(view, 0, 40, -20, 400, 200, 100, 100);
  EXPECT_FLOAT_EQ(view.PanX, 10);
  EXPECT_FLOAT_EQ(view.PanY, -5);
  EXPECT_FLOAT_EQ(view.RotX, kResetRotX);

  view = TViewValues{};
  ApplyDrag(view, 0, 20, 0, 400, 400, 0, 50);  // no view box: 200 x 200 assumed
  EXPECT_FLOAT_EQ(view.PanX, 10);
  ApplyDrag(view, 0, 20, 0, 0, 0, 100, 100);  // collapsed window: no pan, no infinity
  EXPECT_FLOAT_EQ(view.PanX, 10);
}

TEST(ViewerInput, ResetsKeepTheRightValues) {
  TViewValues view{3, 4, 5, 640, 480, false, 12, 34, 6};
  ResetViewAfterLoad(view);
  EXPECT_FLOAT_EQ(view.Zoom2D, 1);
  EXPECT_FLOAT_EQ(view.PanX, 0);
  EXPECT_FLOAT_EQ(view.Zoom3D, 1);
  EXPECT_FLOAT_EQ(view.RotX, 12);  // the orientation survives a new load
  EXPECT_FLOAT_EQ(view.RotY, 34);
  EXPECT_FALSE(view.ShowHeadings);
  view.RotX = 0;
  ResetViewAfterLoad(view);
  EXPECT_FLOAT_EQ(view.RotX, kResetRotX);
  EXPECT_FLOAT_EQ(view.RotY, 34);
  ResetView(view);
  EXPECT_FLOAT_EQ(view.RotY, kResetRotY);
}

TEST(ViewerInput, RecordNavigationStopsAtBothEnds) {
  EXPECT_EQ(PreviousRecord(0, 3), 0);
  int32_t index = 0;
  for (int i = 0; i < 3; ++i) index = NextRecord(index, 3);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(PreviousRecord(2, 3), 1);
  EXPECT_EQ(NextRecord(0, 1), 0);
  EXPECT_EQ(PreviousRecord(0, 1), 0);
}

TEST(ViewerTexts, StatusLineAndButton) {
  EXPECT_EQ(NavBarStatusText(0, false, 0, 1, true), "2D  |  [R] Reset  [T] 2D/3D  [H] Heading:On  [G] PNG  [S] SVG");
  EXPECT_EQ(NavBarStatusText(1, false, 1, 5, false),
            "3D  |  Molecule 2/5  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:Off  [G] PNG  [S] SVG");
  EXPECT_EQ(NavBarStatusText(1, true, 1, 5, false), "Loading molecule...");
  EXPECT_EQ(LoadingMessage(999, true), "Loading molecule...");
  EXPECT_EQ(LoadingMessage(12400, true), "Loading molecule... 12 s (T or the arrows stop it)");
  EXPECT_EQ(LoadingMessage(1000, false), "Loading molecule... 1 s (T stops it)");
  EXPECT_EQ(ToggleButtonText(0), "2D -> 3D");
  EXPECT_EQ(ToggleButtonText(7), "3D -> 2D");
  EXPECT_EQ(ModeName(2), "3D");
  EXPECT_EQ(ToggledMode(2), 0);
}

TEST(ViewerTexts, OnlySdfFilesAreSplit) {
  EXPECT_TRUE(IsSDFFileName("C:\\m\\LIB.SDF"));
  EXPECT_TRUE(IsSDFFileName("x.sdf"));
  EXPECT_FALSE(IsSDFFileName("x.sd"));
  EXPECT_FALSE(IsSDFFileName("x.mol"));
  EXPECT_FALSE(IsSDFFileName("C:\\a.sdf\\file"));
  EXPECT_FALSE(IsSDFFileName("sdf"));
}
