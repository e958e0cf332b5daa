// The atoms of PDB and XYZ files, read without the converter, and the choice of the 3D model.
#include "stl/uAtomFiles.h"

namespace pelorin {

bool IsAtomTableFile(const std::string& fileName) {
  const TMolFormat format = MolFormatFromFileName(fileName);
  return format == TMolFormat::Pdb || format == TMolFormat::Xyz;
}

bool ReadAtomTableFile(const std::string& fileName, TAtomArray& atoms, std::string& error) {
  switch (MolFormatFromFileName(fileName)) {
    case TMolFormat::Pdb:
      return ReadPDBFile(fileName, atoms, error);
    case TMolFormat::Xyz:
      return ReadXYZFile(fileName, 0, atoms, error);
    default:
      atoms.clear();
      error = "Not a PDB or XYZ file: " + fileName;
      return false;
  }
}

TModelKind ChooseModelKind(TModel3D setting, int32_t maxSurfaceAtoms, const std::optional<TRecordSurvey>& survey,
                           bool surfaceWithinBudget) {
  if (setting == TModel3D::Surface) return TModelKind::Surface;
  if (setting == TModel3D::Atoms) return TModelKind::Atoms;
  const bool small = !survey || survey->AtomCount <= maxSurfaceAtoms;
  return small && surfaceWithinBudget ? TModelKind::Surface : TModelKind::Atoms;
}

}  // namespace pelorin
