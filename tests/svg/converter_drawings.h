// Drawings the real converter makes at test time, for the native tests (they run /usr/bin/obabel).
#pragma once

#include <cstdlib>
#include <string>

#include "test_temp_dir.h"

namespace pelorin_test {

// Runs the converter on SMILES lines ("<smiles> <title>") written to `dir`, drawing into `out` in
// `dir`; with `separate`, one drawing per molecule (out's name with 1, 2, ... before its extension).
inline bool DrawWithConverter(const TTempDir& dir, const std::string& smiles, const std::string& out, bool separate) {
  WriteFileBytes(dir.File("in.smi"), smiles);
  std::string command = "/usr/bin/obabel \"" + dir.File("in.smi") + "\" -O \"" + dir.File(out) + "\"" +
                        (separate ? " -m" : "") + " --gen2d -xC >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace pelorin_test
