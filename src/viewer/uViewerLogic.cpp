// What the viewer window does with input and how it describes itself.
#include "uViewerLogic.h"

#include <algorithm>
#include <cstdio>

#include "render/uView2D.h"
#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {
namespace {

// Virtual-key codes of the keys the viewer takes (the platform's VK_ values).
constexpr int kKeyLeft = 0x25, kKeyUp = 0x26, kKeyRight = 0x27, kKeyDown = 0x28;

}  // namespace

TViewMode ToggledMode(TViewMode mode) {
  return mode == TViewMode::k2D ? TViewMode::k3D : TViewMode::k2D;
}

float WheelZoom(float zoom, int delta, float maxZoom) {
  double next = delta > 0 ? static_cast<double>(zoom) * kWheelZoomFactor : static_cast<double>(zoom) / kWheelZoomFactor;
  return std::clamp(static_cast<float>(next), kMinZoom, maxZoom);
}

bool HitsToggleButton(int x, int y, int clientHeight) {
  return x >= 8 && x < 68 && y >= clientHeight - 24 && y < clientHeight - 4;
}

void ApplyDrag(TViewValues& view, TViewMode mode, int dx, int dy, int width, int height, float viewBoxWidth,
               float viewBoxHeight) {
  if (mode == TViewMode::k3D) {
    view.RotY += dx * kDegreesPerPixel;
    view.RotX += dy * kDegreesPerPixel;
    return;
  }
  if (viewBoxWidth <= 0 || viewBoxHeight <= 0) viewBoxWidth = viewBoxHeight = 200;
  float fit = std::min(width / viewBoxWidth, height / viewBoxHeight);
  float scale = fit * view.Zoom2D;
  if (!(scale > 0)) return;  // a collapsed window: nothing sensible to pan by
  view.PanX += dx / scale;
  view.PanY += dy / scale;
}

void ResetView(TViewValues& view) {
  view.Zoom2D = 1.0f;
  view.PanX = view.PanY = 0;
  view.Zoom3D = 1.0f;
  view.RotX = kResetRotX;
  view.RotY = kResetRotY;
}

void ResetViewAfterLoad(TViewValues& view) {
  view.Zoom2D = 1.0f;
  view.PanX = view.PanY = 0;
  view.Zoom3D = 1.0f;
  if (view.RotX == 0) view.RotX = kResetRotX;
  if (view.RotY == 0) view.RotY = kResetRotY;
}

int32_t PreviousRecord(int32_t index, int32_t count) {
  return count > 1 && index > 0 ? index - 1 : index;
}

int32_t NextRecord(int32_t index, int32_t count) {
  return count > 1 && index < count - 1 ? index + 1 : index;
}

int32_t RecordAtPercent(int percent, int32_t count) {
  if (count <= 1) return 0;
  const int64_t share = std::clamp(percent, 0, 100);
  return static_cast<int32_t>((share * (count - 1) + 50) / 100);
}

int32_t PrefetchRecord(int32_t index, int32_t count, int32_t direction) {
  const int32_t next = direction < 0 ? PreviousRecord(index, count) : NextRecord(index, count);
  return next == index ? -1 : next;
}

namespace {

// What follows the count (or the mode): a notice, else the record's title.
std::string StatusSubject(const TNavBarStatus& status) {
  if (!status.Notice.empty()) return "  |  " + status.Notice;
  if (!status.Title.empty()) return "  |  " + CutWithEllipsis(status.Title, kStatusTitleChars);
  return {};
}

}  // namespace

std::string NavBarStatusText(const TNavBarStatus& status) {
  if (status.Loading) return "Loading molecule...";
  const std::string mode = ViewModeText(status.Mode);
  const std::string heading =
      std::string("[H] Heading:") + (status.ShowHeadings ? "On" : "Off") +
      (status.HasFields ? std::string("  [D] Fields:") + (status.ShowFields ? "On" : "Off") : "");
  const std::string subject = StatusSubject(status);
  if (status.RecordCount <= 1 && status.CountFinal)
    return mode + subject + "  |  [R] Reset  [T] 2D/3D  " + heading + "  [G] PNG  [S] SVG";
  std::string count = std::to_string(status.ShownRecord + 1) + "/";
  if (status.CountFinal)
    count += std::to_string(status.RecordCount);
  else
    count += (status.RecordCount > 1 ? std::to_string(status.RecordCount) : std::string()) + "...";
  return mode + "  |  " + status.RecordWord + " " + count + subject + "  |  [<>] Nav  [R] Reset  [T] Toggle  " +
         heading + "  [G] PNG  [S] SVG";
}

std::string LoadingMessage(uint64_t elapsedMs, bool hasRecords) {
  if (elapsedMs < 1000) return "Loading molecule...";
  return "Loading molecule... " + std::to_string(elapsedMs / 1000) + " s (" +
         (hasRecords ? "T or the arrows stop it" : "T stops it") + ")";
}

std::string ToggleButtonText(TViewMode mode) {
  return mode == TViewMode::k2D ? "2D -> 3D" : "3D -> 2D";
}

TRecordSource ChooseRecordSource(TRecordRule rule, size_t index, size_t known, TRecordIndexState pass) {
  const bool ended = pass != TRecordIndexState::kBuilding;
  // Until the pass ends, a short SMILES file may still turn out to be a grid, and an SDF file
  // without any record the whole file.
  if (DrawnAsOneGrid(rule, known)) {
    if (!ended) return TRecordSource::kWait;
    return pass == TRecordIndexState::kComplete ? TRecordSource::kWholeFile : TRecordSource::kMissing;
  }
  if (index < known) return TRecordSource::kRecord;
  if (!ended) return TRecordSource::kWait;
  return pass == TRecordIndexState::kComplete && known == 0 ? TRecordSource::kWholeFile : TRecordSource::kMissing;
}

int32_t SteppedRecordCount(TRecordRule rule, size_t known) {
  if (DrawnAsOneGrid(rule, known)) return 1;
  // Records past the 2^31st cannot be stepped to; a file needs at least 10 GB to have them.
  return static_cast<int32_t>(std::clamp<size_t>(known, 1, INT32_MAX));
}

bool NewParamsOpenOptions(int previousParameter, int parameter) {
  const int changed = (previousParameter ^ parameter) & ~kParamForceShow;
  return changed == 0 || (changed & ~(kParamDarkMode | kParamDarkModeNative)) != 0;
}

int32_t FieldsPanelWidth(int32_t clientWidth) {
  if (clientWidth < kFieldsPanelMinWindow) return 0;
  return std::clamp(clientWidth * 3 / 10, 160, 320);
}

std::vector<TPanelRow> FieldsPanelRows(const std::vector<TDataItem>& items, size_t maxRows, size_t marked) {
  std::vector<TPanelRow> rows;
  if (items.empty() || maxRows == 0) return rows;
  size_t shown = items.size();
  if (2 * items.size() > maxRows) shown = maxRows >= 3 ? (maxRows - 1) / 2 : 0;
  const size_t first = marked < items.size() && marked >= shown && shown > 0 ? marked + 1 - shown : 0;
  for (size_t i = first; i < first + shown; ++i) {
    std::string value = items[i].Value;
    std::replace(value.begin(), value.end(), '\n', ' ');
    rows.push_back({TPanelRow::TKind::kName, items[i].Name, i});
    rows.push_back({TPanelRow::TKind::kValue, std::move(value), i});
  }
  if (shown < items.size())
    rows.push_back(
        {TPanelRow::TKind::kMore, "+" + std::to_string(items.size() - shown) + " more", first > 0 ? 0 : shown});
  return rows;
}

size_t CharsBeforeEllipsis(const std::vector<int>& ends, int ellipsisWidth, int maxWidth) {
  if (ends.empty() || ends.back() <= maxWidth) return SIZE_MAX;
  size_t keep = 0;
  while (keep < ends.size() && ends[keep] + ellipsisWidth <= maxWidth) ++keep;
  return keep;
}

TSearchStart SearchStartOf(int flags, int32_t shown) {
  const bool first = (flags & kSearchFindFirst) != 0, backwards = (flags & kSearchBackwards) != 0;
  if (first) return {true, backwards ? SIZE_MAX : 0};
  if (backwards) return shown > 0 ? TSearchStart{true, static_cast<size_t>(shown) - 1} : TSearchStart{};
  return {true, static_cast<size_t>(std::max(shown, 0)) + 1};
}

const TSearchHit* NearerHit(const TSearchHit* a, const TSearchHit* b, bool backwards) {
  if (!a || !b) return a ? a : b;
  if (a->Record == b->Record) return a;
  return (a->Record < b->Record) != backwards ? a : b;
}

std::string SearchProgressNotice(uint64_t done, uint64_t total) {
  const uint64_t percent = total > 0 ? std::min<uint64_t>(done * 100 / total, 100) : 0;
  return "Searching... " + std::to_string(percent) + " % (any key stops it)";
}

bool ViewerTakesKey(int virtualKey, bool ctrl, bool alt) {
  if (alt) return false;
  if (ctrl) return virtualKey == 'C';
  switch (virtualKey) {
    case kKeyLeft:
    case kKeyUp:
    case kKeyRight:
    case kKeyDown:
    case 'D':
    case 'G':
    case 'H':
    case 'R':
    case 'S':
    case 'T':
      return true;
    default:
      return false;
  }
}

}  // namespace pelorin
