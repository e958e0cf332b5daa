// The viewer's input rules and status texts.
#include <gtest/gtest.h>

#include <cmath>

#include "render/uView2D.h"
#include "test_temp_dir.h"
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
  ApplyDrag(view, TViewMode::k3D, 100, 40, 400, 272, 100, 100);
  EXPECT_FLOAT_EQ(view.RotY, kResetRotY + 50);
  EXPECT_FLOAT_EQ(view.RotX, kResetRotX + 20);
  EXPECT_FLOAT_EQ(view.PanX, 0);

  view = TViewValues{};
  view.Zoom2D = 2;
  // 400 x 200 area, 100 x 100 view box: fit 2 px/unit, zoom 2: 4 px per unit.
  ApplyDrag(view, TViewMode::k2D, 40, -20, 400, 200, 100, 100);
  EXPECT_FLOAT_EQ(view.PanX, 10);
  EXPECT_FLOAT_EQ(view.PanY, -5);
  EXPECT_FLOAT_EQ(view.RotX, kResetRotX);

  view = TViewValues{};
  ApplyDrag(view, TViewMode::k2D, 20, 0, 400, 400, 0, 50);  // no view box: 200 x 200 assumed
  EXPECT_FLOAT_EQ(view.PanX, 10);
  ApplyDrag(view, TViewMode::k2D, 20, 0, 0, 0, 100, 100);  // collapsed window: no pan, no infinity
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

  // The host's percent position.
  const struct {
    int Percent;
    int32_t Count, Expected;
  } percents[] = {{0, 10, 0},       {100, 10, 9}, {50, 10, 5}, {50, 3, 1}, {33, 4, 1},
                  {-5, 10, 0},      {250, 10, 9}, {100, 1, 0}, {50, 0, 0}, {100, INT32_MAX, INT32_MAX - 1},
                  {INT32_MIN, 7, 0}};
  for (const auto& p : percents)
    EXPECT_EQ(RecordAtPercent(p.Percent, p.Count), p.Expected) << p.Percent << " of " << p.Count;
}

TEST(ViewerTexts, StatusLineAndButton) {
  auto status = [](TViewMode mode, bool loading, int32_t index, int32_t count, bool headings, bool countFinal = true) {
    TNavBarStatus s;
    s.Mode = mode;
    s.Loading = loading;
    s.ShownRecord = index;
    s.RecordCount = count;
    s.ShowHeadings = headings;
    s.CountFinal = countFinal;
    return NavBarStatusText(s);
  };
  const TViewMode k2D = TViewMode::k2D, k3D = TViewMode::k3D;
  EXPECT_EQ(NavBarStatusText(TNavBarStatus{}), "2D  |  [R] Reset  [T] 2D/3D  [H] Heading:On  [G] PNG  [S] SVG");
  EXPECT_EQ(status(k3D, false, 1, 5, false),
            "3D  |  Molecule 2/5  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:Off  [G] PNG  [S] SVG");
  EXPECT_EQ(status(k3D, true, 1, 5, false), "Loading molecule...");
  // While the records are still being counted.
  EXPECT_EQ(status(k2D, false, 0, 8192, true, false),
            "2D  |  Molecule 1/8192...  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:On  [G] PNG  [S] SVG");
  EXPECT_EQ(status(k2D, false, 0, 1, true, false),
            "2D  |  Molecule 1/...  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:On  [G] PNG  [S] SVG");
  // The record's title after the count, cut; a notice instead of it; D told when there are fields.
  TNavBarStatus titled;
  titled.ShownRecord = 2;
  titled.RecordCount = 9;
  titled.Title = "Caffeine";
  titled.HasFields = true;
  EXPECT_EQ(NavBarStatusText(titled),
            "2D  |  Molecule 3/9  |  Caffeine  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:On  [D] Fields:On  "
            "[G] PNG  [S] SVG");
  titled.Title = std::string(60, 'x');
  const std::string cut = CutWithEllipsis(titled.Title, kStatusTitleChars);
  EXPECT_EQ(cut.substr(0, kStatusTitleChars - 1), std::string(kStatusTitleChars - 1, 'x'));
  EXPECT_NE(NavBarStatusText(titled).find("|  " + cut + "  |"), std::string::npos);
  titled.Notice = "Not found";
  titled.ShowFields = false;
  EXPECT_EQ(NavBarStatusText(titled),
            "2D  |  Molecule 3/9  |  Not found  |  [<>] Nav  [R] Reset  [T] Toggle  [H] Heading:On  [D] Fields:Off  "
            "[G] PNG  [S] SVG");
  titled.RecordWord = "Frame";
  titled.Notice.clear();
  titled.Title.clear();
  EXPECT_EQ(NavBarStatusText(titled).substr(0, 23), "2D  |  Frame 3/9  |  [<");
  titled.Notice = "Not found";
  titled.RecordCount = 1;
  titled.HasFields = false;
  EXPECT_EQ(NavBarStatusText(titled), "2D  |  Not found  |  [R] Reset  [T] 2D/3D  [H] Heading:On  [G] PNG  [S] SVG");
  EXPECT_EQ(LoadingMessage(999, true), "Loading molecule...");
  EXPECT_EQ(LoadingMessage(12400, true), "Loading molecule... 12 s (T or the arrows stop it)");
  EXPECT_EQ(LoadingMessage(1000, false), "Loading molecule... 1 s (T stops it)");
  EXPECT_EQ(ToggleButtonText(k2D), "2D -> 3D");
  EXPECT_EQ(ToggleButtonText(k3D), "3D -> 2D");
  EXPECT_EQ(ToggledMode(k3D), k2D);
  EXPECT_EQ(ToggledMode(k2D), k3D);
}

// The fields panel: all items while they fit, else as many as fit and "+N more"; a marked item
// is always among those shown; long texts are cut before an ellipsis.
TEST(ViewerTexts, FieldsPanelRowsAndCuts) {
  EXPECT_EQ(FieldsPanelWidth(kFieldsPanelMinWindow - 1), 0);
  EXPECT_EQ(FieldsPanelWidth(640), 192);
  EXPECT_EQ(FieldsPanelWidth(4000), 320);
  std::vector<TDataItem> items;
  for (int i = 0; i < 5; ++i) items.push_back({"N" + std::to_string(i), "v" + std::to_string(i) + "\nmore"});
  auto texts = [](const std::vector<TPanelRow>& rows) {
    std::string all;
    for (const TPanelRow& row : rows) all += row.Text + ";";
    return all;
  };
  EXPECT_EQ(texts(FieldsPanelRows(items, 10)), "N0;v0 more;N1;v1 more;N2;v2 more;N3;v3 more;N4;v4 more;");
  EXPECT_EQ(texts(FieldsPanelRows(items, 9)), "N0;v0 more;N1;v1 more;N2;v2 more;N3;v3 more;+1 more;");
  EXPECT_EQ(texts(FieldsPanelRows(items, 6)), "N0;v0 more;N1;v1 more;+3 more;");
  EXPECT_EQ(texts(FieldsPanelRows(items, 6, 4)), "N3;v3 more;N4;v4 more;+3 more;");
  EXPECT_EQ(texts(FieldsPanelRows(items, 2)), "+5 more;");
  EXPECT_TRUE(FieldsPanelRows(items, 0).empty());
  EXPECT_TRUE(FieldsPanelRows({}, 10).empty());

  const std::vector<int> ends{10, 20, 30, 40};
  EXPECT_EQ(CharsBeforeEllipsis(ends, 8, 40), SIZE_MAX);
  EXPECT_EQ(CharsBeforeEllipsis(ends, 8, 39), 3u);
  EXPECT_EQ(CharsBeforeEllipsis(ends, 8, 27), 1u);
  EXPECT_EQ(CharsBeforeEllipsis(ends, 8, 5), 0u);
  EXPECT_EQ(CharsBeforeEllipsis({}, 8, 0), SIZE_MAX);
}

// Where the host's search begins, which of two hits is nearer, and what the bar says meanwhile.
TEST(HostRules, SearchStartNearerHitAndProgress) {
  auto start = [](int flags, int32_t shown) {
    const TSearchStart s = SearchStartOf(flags, shown);
    return s.Possible ? static_cast<long long>(s.From == SIZE_MAX ? -2 : static_cast<long long>(s.From)) : -1;
  };
  EXPECT_EQ(start(0, 4), 5);
  EXPECT_EQ(start(kSearchBackwards, 4), 3);
  EXPECT_EQ(start(kSearchBackwards, 0), -1);  // nothing before the first record
  EXPECT_EQ(start(kSearchFindFirst, 4), 0);
  EXPECT_EQ(start(kSearchFindFirst | kSearchBackwards, 4), -2);  // from the last
  EXPECT_EQ(start(kSearchFindFirst | kSearchMatchCase | kSearchWholeWords, 9), 0);

  TSearchHit a, b;
  a.Record = 3;
  b.Record = 7;
  EXPECT_EQ(NearerHit(&a, &b, false), &a);
  EXPECT_EQ(NearerHit(&a, &b, true), &b);
  EXPECT_EQ(NearerHit(nullptr, &b, false), &b);
  EXPECT_EQ(NearerHit(&a, nullptr, true), &a);
  EXPECT_EQ(NearerHit(nullptr, nullptr, true), nullptr);

  EXPECT_EQ(SearchProgressNotice(250, 1000), "Searching... 25 % (any key stops it)");
  EXPECT_EQ(SearchProgressNotice(5, 0), "Searching... 0 % (any key stops it)");
  EXPECT_EQ(SearchProgressNotice(1200, 1000), "Searching... 100 % (any key stops it)");
}

// Which input a load of record i gets while the pass counts, and how many records are stepped.
TEST(ViewerInput, RecordSourceWhileThePassCounts) {
  using S = TRecordSource;
  const auto building = TRecordIndexState::kBuilding, complete = TRecordIndexState::kComplete,
             failed = TRecordIndexState::kFailed;
  const struct {
    TRecordRule Rule;
    size_t Index, Known;
    TRecordIndexState Pass;
    TRecordSource Expected;
    int32_t Stepped;
  } cases[] = {
      {TRecordRule::kSDF, 0, 0, building, S::kWait, 1},
      {TRecordRule::kSDF, 0, 1, building, S::kRecord, 1},
      {TRecordRule::kSDF, 5, 3, building, S::kWait, 3},
      {TRecordRule::kSDF, 5, 3, complete, S::kMissing, 3},
      {TRecordRule::kSDF, 0, 0, complete, S::kWholeFile, 1},
      {TRecordRule::kSDF, 0, 0, failed, S::kMissing, 1},
      {TRecordRule::kSDF, 2, 3, failed, S::kRecord, 3},
      {TRecordRule::kSMILES, 0, 12, building, S::kWait, 1},
      {TRecordRule::kSMILES, 0, 12, complete, S::kWholeFile, 1},
      {TRecordRule::kSMILES, 0, 13, building, S::kRecord, 13},
      {TRecordRule::kSMILES, 12, 13, complete, S::kRecord, 13},
      {TRecordRule::kSMILES, 13, 13, complete, S::kMissing, 13},
      {TRecordRule::kSMILES, 0, 5, failed, S::kMissing, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Index) + " of " + std::to_string(c.Known));
    EXPECT_EQ(ChooseRecordSource(c.Rule, c.Index, c.Known, c.Pass), c.Expected);
    EXPECT_EQ(SteppedRecordCount(c.Rule, c.Known), c.Stepped);
  }
  EXPECT_EQ(SteppedRecordCount(TRecordRule::kSDF, size_t{1} << 40), INT32_MAX);
}

TEST(HostRules, OnlyAChangeOfTheDarkModeBitsAloneOpensNoOptionsDialog) {
  const int ansi = 4, wrap = 1, forceShow = 16, dark = 128, darkNative = 256;
  EXPECT_FALSE(NewParamsOpenOptions(ansi, ansi | dark));
  EXPECT_FALSE(NewParamsOpenOptions(ansi | forceShow, ansi | dark)) << "ListLoad's flags carry a bit commands never do";
  EXPECT_TRUE(NewParamsOpenOptions(ansi | forceShow, ansi)) << "unchanged but for that bit: the user's command";
  EXPECT_FALSE(NewParamsOpenOptions(ansi | dark, ansi | dark | darkNative));
  EXPECT_FALSE(NewParamsOpenOptions(ansi | dark | darkNative, ansi));
  EXPECT_TRUE(NewParamsOpenOptions(ansi | dark, ansi | dark)) << "unchanged: the user's command";
  EXPECT_TRUE(NewParamsOpenOptions(0, 0));
  EXPECT_TRUE(NewParamsOpenOptions(ansi, ansi | wrap));
  EXPECT_TRUE(NewParamsOpenOptions(ansi, wrap | dark)) << "a real change along with the dark mode";
}

TEST(HostRules, KeysWithCtrlOrAltAndPlusMinusBelongToTheHost) {
  for (int key : {0x25, 0x26, 0x27, 0x28, int{'D'}, int{'G'}, int{'H'}, int{'R'}, int{'S'}, int{'T'}}) {
    EXPECT_TRUE(ViewerTakesKey(key, false, false)) << key;
    EXPECT_FALSE(ViewerTakesKey(key, true, false)) << key;
    EXPECT_FALSE(ViewerTakesKey(key, false, true)) << key;
  }
  EXPECT_TRUE(ViewerTakesKey('C', true, false));
  EXPECT_FALSE(ViewerTakesKey('C', false, false));
  EXPECT_FALSE(ViewerTakesKey('C', true, true)) << "AltGr is Ctrl+Alt";
  for (int key : {0x6B, 0x6D, 0xBB, 0xBD, int{'N'}, int{'P'}, 0x1B, 0x70})  // + and - of both kinds, N, P, Esc, F1
    EXPECT_FALSE(ViewerTakesKey(key, false, false)) << key;
}
