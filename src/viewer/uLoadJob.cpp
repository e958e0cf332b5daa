// One load of a viewer window: the record's input, its survey, the model plan, the converter
// run and the reading of its output.
#include "viewer/uLoadJob.h"

#include <algorithm>
#include <chrono>

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "formats/uMolSurvey.h"
#include "model3d/uAtomModel.h"
#include "model3d/uModelChoice.h"
#include "model3d/uSurfaceBudget.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "svg/uSVGParser.h"
#include "viewer/uRecordFiles.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {
namespace {

// A 3D conversion reads the input's first molecule only: a record's input holds one, and a file
// whose records could not be found is shown by its first; the rest is never converted. A stop of
// the load ends it at once.
TConversionLimits ShownMoleculeLimits(const TStopToken& stop) {
  TConversionLimits limits;
  limits.ExtraArgs = "-l 1";
  limits.Stop = stop;
  return limits;
}

class TLoadJob {
 public:
  TLoadJob(const TLoadRequest& request, const TStopToken& stop) : request_(request), stop_(stop) {}
  TShownView Run();

 private:
  bool Stopped() const { return stop_.StopRequested(); }
  bool WaitForRecord();
  bool Load2D(const std::string& input);
  bool Load3D(const std::string& input);
  bool LoadSurface(const std::string& input, TModelPlan::TOverBudget overBudget);
  // `atoms`: the file's own, when they were read ahead; otherwise LoadFileAtoms reads them.
  bool LoadAtoms(const std::string& input, const std::optional<TRecordSurvey>& survey, TAtomArray atoms = {});
  // How the window draws atoms, once it knows; false when the load is stopped meanwhile.
  bool KnowAtomDrawing(TAtomDrawing& drawing);

  const TLoadRequest& request_;
  const TStopToken stop_;
  TShownView view_;
};

TShownView TLoadJob::Run() {
  DebugLogFmt("TLoadThread.Execute: mode=%s mol=%d file=[%s]", ViewModeText(request_.Mode).c_str(), request_.Record,
              request_.FileName.c_str());
  if (request_.Records && !WaitForRecord()) return std::move(view_);
  TFileRemover recordFile("");  // gone before the result is handed over
  std::string input, text;
  const TRecordIndex* records = request_.Records.get();
  if (!MakeRecordInput(request_.FileName, records, request_.Record, input, recordFile, view_.ErrorMsg, stop_, &text))
    return std::move(view_);
  if (Stopped()) return std::move(view_);
  // The record's data come from the text read for the converter: no second read of the file.
  if (records && RecordsHaveDataItems(records->Rule()) && !text.empty()) view_.Data = ReadSDFRecordData(text);
  view_.Ready = request_.Mode == TViewMode::k2D ? Load2D(input) : Load3D(input);
  if (view_.Ready) DebugLogFmt("TLoadThread: scene ready, elements=%d", view_.Scene.Count);
  return std::move(view_);
}

// The record pass runs beside the load: the record's end may not have been found yet.
bool TLoadJob::WaitForRecord() {
  const TRecordIndex& records = *request_.Records;
  const TRecordRule rule = records.Rule();
  const size_t index = static_cast<size_t>(std::max(request_.Record, 0));
  // A SMILES file is stepped only once it has more lines than a grid shows.
  const size_t needed = std::max(index, GridMaxRecords(rule)) + 1;
  while (!Stopped()) {
    const TRecordIndexState pass = records.State();  // before the count: an ended pass has its final count
    if (ChooseRecordSource(rule, index, records.Count(), pass) != TRecordSource::kWait) return true;
    records.WaitForCount(needed, std::chrono::milliseconds(50));  // a stop is seen within 50 ms
  }
  return false;
}

bool TLoadJob::Load2D(const std::string& input) {
  TConversionLimits limits;
  limits.Stop = stop_;  // a stop ends the converter run at once
  if (!RunOBabel(input, view_.SvgText, view_.ErrorMsg, limits)) return false;
  if (Stopped()) return false;
  if (!ParseSVG(view_.SvgText, view_.Scene)) {
    view_.ErrorMsg = "SVG parse failed.";
    std::string().swap(view_.SvgText);
    return false;
  }
  return true;
}

bool TLoadJob::Load3D(const std::string& input) {
  const TPelorinConfig config = ConfigSnapshot();
  const uint64_t budget = CurrentSurfaceBudget();
  TAtomArray ownAtoms;
  std::string aheadError;
  std::optional<TRecordSurvey> survey;
  if (ReadsOwnAtomsAhead(config.Model3D, MolFormatFromFileName(input), FileSizeOf(input), budget) &&
      ReadFileOwnAtoms(input, ownAtoms, aheadError))
    survey = TRecordSurvey{static_cast<int64_t>(ownAtoms.size()), true, true};
  else
    survey = SurveyFileRecord(input, 0);
  // A surface that cannot be held is not converted at all: the converter's spheres cost about
  // 1 MB of file and more of memory for every atom. Auto draws the atoms instead of refusing.
  const TModelPlan plan = PlanModel(config.Model3D, config.MaxSurfaceAtoms, survey, budget);
  using TKind = TModelPlan::TKind;
  if (!plan.BudgetMessage.empty()) {
    DebugLog(
        std::string("SurfaceOverBudget: ") +
        (plan.Kind == TKind::kAtoms ? "no surface conversion, the atoms are drawn instead: " : "no 3D conversion: ") +
        plan.BudgetMessage);
  }
  switch (plan.Kind) {
    case TKind::kAtoms:
      return LoadAtoms(input, survey, std::move(ownAtoms));
    case TKind::kRefused:
      view_.ErrorMsg = plan.BudgetMessage;
      return false;
    case TKind::kSurface:
      break;
  }
  return LoadSurface(input, plan.SurfaceFileTooLarge);
}

bool TLoadJob::KnowAtomDrawing(TAtomDrawing& drawing) {
  const std::shared_future<TAtomDrawing>& known = request_.AtomDrawing;
  while (known.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    if (Stopped()) return false;
  try {
    drawing = known.get();
  } catch (const std::future_error&) {
    return false;  // the window went before it knew: nothing is shown anyway
  }
  return !Stopped();
}

bool TLoadJob::LoadAtoms(const std::string& input, const std::optional<TRecordSurvey>& survey, TAtomArray atoms) {
  TAtomDrawing drawing = TAtomDrawing::Meshes;
  if (!KnowAtomDrawing(drawing)) return false;
  std::string& error = view_.ErrorMsg;
  // Held for as long as the window shows it, like a surface: a model that the free memory
  // cannot hold is refused before its atoms are read, when the survey knows how many there are.
  if (survey && AtomModelOverBudget(survey->AtomCount, drawing, error)) return false;
  if (atoms.empty() && !LoadFileAtoms(input, atoms, error, ShownMoleculeLimits(stop_))) return false;
  if (Stopped()) return false;
  const auto count = static_cast<int64_t>(atoms.size());
  if (AtomModelOverBudget(count, drawing, error)) return false;
  auto model = std::make_shared<TMeshModel>();
  if (!BuildAtomModel(atoms, drawing, *model, error)) return false;
  model->DepthCue = WantsDepthCue(ConfigSnapshot().DepthCue, atoms.size());
  if (drawing == TAtomDrawing::Impostors)
    DebugLogFmt("TLoadThread: atom model of %lld atoms, drawn as spheres", static_cast<long long>(count));
  else
    DebugLogFmt("TLoadThread: atom model of %d atoms, %d facets", static_cast<int>(count), model->FacetCount);
  view_.Model = std::move(model);
  return true;
}

bool TLoadJob::LoadSurface(const std::string& input, TModelPlan::TOverBudget overBudget) {
  std::string stl;
  std::string& error = view_.ErrorMsg;
  if (!RunOBabelSTL(input, stl, error, ShownMoleculeLimits(stop_))) return false;
  // Removed on every path, a failed read included: a model too large to hold would
  // otherwise leave a file of gigabytes in the temporary folder on every attempt.
  TFileRemover stlFile(stl);
  if (Stopped()) return false;
  // The survey cannot count the hydrogens --gen3d adds; the STL's own size is checked too.
  if (SurfaceFileOverBudget(stl, error)) {
    if (overBudget == TModelPlan::TOverBudget::kRefuse) return false;
    DebugLog("TLoadThread: " + error + " The atoms are drawn instead.");
    error.clear();
    DeleteFileIfExists(stl);
    return LoadAtoms(input, std::nullopt);
  }
  // The model is this load's own until the window takes it over, so no lock is needed
  // while it is built; the window's painting never waits for a parse.
  auto model = std::make_shared<TMeshModel>();
  std::string openError;
  if (!LoadMeshModel(*model, stl, openError)) {
    error = "STL parse failed: " + stl + (openError.empty() ? "" : " (" + openError + ")");
    return false;
  }
  view_.Model = std::move(model);
  return true;
}

}  // namespace

TShownView RunLoadJob(const TLoadRequest& request, const TStopToken& stop) {
  return TLoadJob(request, stop).Run();
}

}  // namespace pelorin
