// Fuzz target: the XYZ and PDB atom readers on arbitrary text, the survey against them (it must
// find the records and count the atoms they read), and the atom model built from what they read.
// The first byte picks the XYZ record.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/uMolSurvey.h"
#include "formats/uPDBFormat.h"
#include "formats/uXYZFormat.h"
#include "model3d/uAtomModel.h"

namespace {

using namespace pelorin;

// Small models only: a large one costs megabytes a run and finds nothing a small one does not.
constexpr size_t kMostAtomsToBuild = 2;

void CheckAtoms(const TAtomArray& atoms) {
  for (const TAtom& atom : atoms) {
    if (!std::isfinite(atom.X) || !std::isfinite(atom.Y) || !std::isfinite(atom.Z)) __builtin_trap();
    if (atom.Element[3] != '\0') __builtin_trap();
  }
}

void CheckModel(const TAtomArray& atoms) {
  if (atoms.empty() || atoms.size() > kMostAtomsToBuild) return;
  TMeshModel model;
  std::string error;
  if (!BuildAtomModel(atoms, TAtomDrawing::Meshes, model, error)) __builtin_trap();
  if (model.MeshVertexCount != 3 * model.FacetCount || model.Atoms.size() != atoms.size()) __builtin_trap();
  if (model.MeshVertices.size() != size_t(model.MeshVertexCount) * 3) __builtin_trap();
  if (!(model.ModelRadius > 0) || !std::isfinite(model.ModelRadius)) __builtin_trap();
}

// The survey of the record the reader read: there exactly when the reader found the record,
// with the atoms it read, whole when the reader read all the record claims.
void CheckSurvey(std::string_view text, TMolFormat format, int record, bool found, size_t atoms, bool whole) {
  const std::optional<TRecordSurvey> survey = SurveyRecord(text, format, record);
  if (survey.has_value() != found) __builtin_trap();
  if (survey && (survey->AtomCount != static_cast<int64_t>(atoms) || survey->AtomCountKnown != whole)) __builtin_trap();
}

// What the XYZ reader's error says of the record, read from the error's fixed words before any
// quoted line (which may say anything).
bool RecordMissing(const std::string& error, int record) {
  if (error.rfind("record " + std::to_string(record + 1) + " not found", 0) == 0) return true;
  const size_t noCount = error.find(" should hold the atom count but is ");
  return noCount != std::string::npos && noCount < error.find('"');
}
bool RecordEmpty(const std::string& error, int record) {
  return error == "record " + std::to_string(record + 1) + " has no atoms";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  int record = data[0] % 4;
  TAtomArray atoms;
  std::string error, title;
  bool ok = ReadXYZBlock(text, record, atoms, error, &title);
  if (ok == !error.empty() || (ok && atoms.empty())) __builtin_trap();
  CheckAtoms(atoms);
  if (ok) CheckModel(atoms);
  CheckSurvey(text, TMolFormat::Xyz, record, !RecordMissing(error, record), atoms.size(),
              ok || RecordEmpty(error, record));
  ok = ReadPDBAtoms(text, atoms, error);
  if (ok == atoms.empty()) __builtin_trap();
  CheckAtoms(atoms);
  if (ok) CheckModel(atoms);
  // A PDB model is a record when it holds atom lines, as the converter reads it. The survey finds
  // the first one whenever the reader read atoms, and counts them; where the reader read none
  // (atom lines without readable coordinates), the survey counts none either.
  if (ok) {
    CheckSurvey(text, TMolFormat::Pdb, 0, true, atoms.size(), true);
  } else if (const std::optional<TRecordSurvey> survey = SurveyRecord(text, TMolFormat::Pdb, 0)) {
    if (survey->AtomCount != 0) __builtin_trap();
  }
  return 0;
}
