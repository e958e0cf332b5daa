// The memory budget of the 3D models: whether the converter's surface of a molecule can be held,
// told before the conversion from the atom count and after it from the STL's own facet count,
// and whether an atom model of so many atoms can, against a share of the machine's free
// physical memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formats/uMolSurvey.h"
#include "model3d/uAtomModel.h"

namespace pelorin {

// The converter (Open Babel 3.1.1) draws every atom as the same tessellated sphere: caffeine
// (24 atoms with the hydrogens --gen3d adds) gives 497,616 facets, ethanol.pdb (9) 186,606.
constexpr int64_t kSurfaceFacetsPerAtom = 20734;

// Bytes of working set one facet of the surface costs the viewer, as measured from outside under
// software OpenGL (bench_atoms_viewer: 456-460 bytes a facet once the first picture is drawn):
// the mesh arrays (three vertices of position, normal and colour: 108 bytes), the driver's copy
// made from them (packed vertices and the drop shadow: 72 + 36 bytes, see uMeshRender) and what
// the driver and the allocators keep beside them. The budget counts the whole measured cost.
constexpr int64_t kSurfaceBytesPerFacet = 460;

// The surface may take half of the physical memory that is free when it is loaded. It is held
// for as long as the window shows it, beside the host, the other programs and possibly a second
// viewer window; the free memory also counts the file cache that still holds the STL just written.
// Taking more would page out the host, whose every window then stops answering.
constexpr uint64_t kSurfaceBudgetShareDivisor = 2;

// The budget in bytes for a given amount of free physical memory.
uint64_t SurfaceBudgetBytes(uint64_t availablePhysicalBytes);
// The converter's facets for a molecule of `atoms` atoms (0 for none or a negative count).
int64_t EstimatedSurfaceFacets(int64_t atoms);
// The atoms a converter's surface of `facets` facets shows (rounded up).
int64_t SurfaceAtomsOfFacets(int64_t facets);
// True when a surface of `facets` facets does not fit into `budgetBytes`, and always when it
// has more than the STL reader takes (kMaxSTLFacets).
bool SurfaceFacetsOverBudget(int64_t facets, uint64_t budgetBytes);
// The window's message for a surface left out: names the atoms, the facets, their memory and
// the budget, e.g. "The 3D surface of 1788 atoms is too large for the free memory: 37.1 million
// facets need 9.5 GB, the budget (half the free memory) is 4.0 GB."
std::string SurfaceOverBudgetMessage(int64_t atoms, int64_t facets, uint64_t budgetBytes);

// Bytes an atom model costs per atom at the height of its load, drawn the given way: the atoms
// read from the file (16) and the model's own (16), then for impostors the driver's copy of the
// spheres (16); for meshes the spheres' mesh arrays (108 bytes a facet) and the driver's copy
// of their shared corners (36 bytes each) and indices (12 bytes a facet); with a quarter more
// for the allocators and the pieces of the upload.
uint64_t AtomModelBytesPerAtom(int64_t atoms, TAtomDrawing drawing);
// Bytes of a facet in the mesh arrays (three vertices of position, normal and colour), and of a
// shared sphere corner in the driver's copy (a packed vertex and its shadow position).
constexpr uint64_t kMeshArrayBytesPerFacet = 27 * sizeof(float);
constexpr uint64_t kSharedCornerDriverBytes = 36;
// The driver's copy of one mesh sphere of `facets` facets: its shared corners and its indices.
uint64_t SphereMeshDriverBytes(uint64_t facets);
// Bytes an atom model holds while a window shows or keeps it, counted as AtomModelBytesPerAtom
// counts them (without the atoms read and the allocators' share): its spheres, and the driver's
// copy of them (impostors: a sphere each; meshes: shared corners and indices), or for meshes
// their arrays while it still has them.
uint64_t AtomModelHeldBytes(const TMeshModel& model);
// True when an atom model of `atoms` atoms does not fit into `budgetBytes`.
bool AtomModelOverBudget(int64_t atoms, TAtomDrawing drawing, uint64_t budgetBytes);
// The window's message for an atom model left out: names the atoms, their memory and the budget,
// e.g. "The 3D model of 5000000 atoms is too large for the free memory: 5000000 atoms need
// 300.0 MB, the budget (half the free memory) is 200.0 MB."
std::string AtomModelOverBudgetMessage(int64_t atoms, uint64_t neededBytes, uint64_t budgetBytes);

#ifdef _WIN32

// Free physical memory now (GlobalMemoryStatusEx), 0 when the system does not say.
uint64_t AvailablePhysicalMemory();
// The budget now: SurfaceBudgetBytes of the free memory, or the forced budget when one is set.
uint64_t CurrentSurfaceBudget();
// Forces the budget (tests: a small one shows the refusals on a small molecule); 0 lifts it.
void SetSurfaceBudgetOverride(uint64_t bytes);

// True when the converter's STL at `stlPath` holds more facets (CountSTLFacets) than the budget
// now allows;
// `message` then says so, naming the atoms the surface shows. A file that cannot be read is
// left to the reader to report.
[[nodiscard]] bool SurfaceFileOverBudget(const std::string& stlPath, std::string& message);
// True when an atom model of `atoms` atoms, drawn the given way, would not fit into the budget
// now; `message` then says so.
[[nodiscard]] bool AtomModelOverBudget(int64_t atoms, TAtomDrawing drawing, std::string& message);

#endif  // _WIN32

}  // namespace pelorin
