// The memory budget of the 3D surface model on Windows: the free physical memory, and the
// checks before and after a conversion that the load thread makes.
#include <windows.h>

#include <atomic>

#include "formats/uMolSurvey.h"
#include "formats/uSTLParser.h"
#include "model3d/uSurfaceBudget.h"
#include "support/uDebugLog.h"

namespace pelorin {
namespace {

std::atomic<uint64_t> gBudgetOverride{0};

}  // namespace

uint64_t AvailablePhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
}

uint64_t CurrentSurfaceBudget() {
  const uint64_t forced = gBudgetOverride;
  return forced ? forced : SurfaceBudgetBytes(AvailablePhysicalMemory());
}

void SetSurfaceBudgetOverride(uint64_t bytes) {
  gBudgetOverride = bytes;
}

bool SurfaceFileOverBudget(const std::string& stlPath, std::string& message) {
  const std::optional<int64_t> facets = CountSTLFacets(stlPath);
  const uint64_t budget = CurrentSurfaceBudget();
  if (!facets || !SurfaceFacetsOverBudget(*facets, budget)) return false;
  message = SurfaceOverBudgetMessage(SurfaceAtomsOfFacets(*facets), *facets, budget);
  DebugLog("SurfaceFileOverBudget: STL not read: " + message);
  return true;
}

bool AtomModelOverBudget(int64_t atoms, TAtomDrawing drawing, std::string& message) {
  const uint64_t budget = CurrentSurfaceBudget();
  if (!AtomModelOverBudget(atoms, drawing, budget)) return false;
  const uint64_t perAtom = AtomModelBytesPerAtom(atoms, drawing);
  const uint64_t needed = static_cast<uint64_t>(atoms) > UINT64_MAX / perAtom ? UINT64_MAX : atoms * perAtom;
  message = AtomModelOverBudgetMessage(atoms, needed, budget);
  DebugLog("AtomModelOverBudget: " + message);
  return true;
}

}  // namespace pelorin
