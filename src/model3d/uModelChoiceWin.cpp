// The atoms of any molecule file: straight from PDB and XYZ files, through the converter's
// XYZ output for the other formats.
#include "formats/uMolFormat.h"
#include "formats/uXYZFormat.h"
#include "model3d/uModelChoice.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"

namespace pelorin {

bool ReadFileOwnAtoms(const std::string& inputPath, TAtomArray& atoms, std::string& error,
                      const TConversionLimits& limits) {
  if (!IsAtomTable(MolFormatFromFileName(inputPath))) {
    error = "Not a PDB or XYZ file: " + inputPath;
    return false;
  }
  if (!ReadAtomTableFile(inputPath, atoms, error, limits.Stop.AlsoAt(limits.Deadline))) return false;
  DebugLogFmt("LoadFileAtoms: %d atoms read from the file itself", static_cast<int>(atoms.size()));
  return true;
}

bool LoadFileAtoms(const std::string& inputPath, TAtomArray& atoms, std::string& error,
                   const TConversionLimits& limits) {
  // Reading the table is far quicker than any converter run (no process start), and gives the
  // same atoms: the converter writes a PDB's or XYZ's own elements and coordinates back.
  if (IsAtomTable(MolFormatFromFileName(inputPath))) {
    if (ReadFileOwnAtoms(inputPath, atoms, error, limits)) return true;
    if (limits.Deadline.Passed()) {
      DebugLog("LoadFileAtoms ERROR: " + error);
      return false;
    }
    DebugLog("LoadFileAtoms: the file itself gave no atoms (" + error + "); the converter reads it");
  }
  std::string xyzPath;
  if (!RunOBabelXYZ(inputPath, xyzPath, error, limits)) return false;
  TFileRemover xyzFile(xyzPath);
  if (limits.Stop.StopRequested()) return false;
  if (!ReadXYZFile(xyzPath, 0, atoms, error)) {
    error = "XYZ read failed: " + error;
    DebugLog("LoadFileAtoms ERROR: " + error);
    return false;
  }
  DebugLogFmt("LoadFileAtoms: %d atoms from the converter", static_cast<int>(atoms.size()));
  return true;
}

}  // namespace pelorin
