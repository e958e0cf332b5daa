// The window's side of its loads: which view a step shows (a kept one, the one made ahead, or a
// new load), taking a finished load over, the next record made ahead, and the views kept. The
// shown view is adopted and cleared here only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/uViewerState.h"

namespace pelorin {

// Shows record `index` in the window's mode: the view kept for it when there is one, else the
// background load already converting it, else a new load (the old one stopped). The view shown
// before is kept for a step back. The wait for the old load handles messages sent from other
// threads, and one of them may close the window: false then.
[[nodiscard]] bool StartLoad(TPelorinState& state, int32_t index);
// Stops the window's load, if any, waiting for the worker; false when the window closed meanwhile.
[[nodiscard]] bool StopLoad(TPelorinState& state);
// Takes over a finished load (WM_PELORIN_LOADED): the shown one's result, or a background
// load's, which is kept for the step to it; results of replaced loads are ignored.
void TakeOverLoad(TPelorinState& state, LPARAM sequence);
// The window shows no view but `error` (no load runs): nothing could ever be drawn.
void ShowError(TPelorinState& state, std::string error);

// The view of record `index` in `mode` of the window's file as it is now; none when the file
// cannot be read.
std::optional<TViewKey> ViewKeyFor(const TPelorinState& state, int32_t index, TViewMode mode);
// Once the shown view is drawn: converts the next record in the direction of the last step in
// the background, unless it is kept already, a load runs, or (3D) kept models fill their budget.
void StartPrefetch(TPelorinState& state);
// Stops the background load without waiting for it (it ends on its own, its converter at once).
void CancelPrefetch(TPelorinState& state);
// Forgets the kept views (the settings changed, or a reload is asked for): the next load converts.
void ForgetKeptViews(TPelorinState& state);
// The window closes: stops every load and waits for each (their converters end at once).
void EndLoads(TPelorinState& state);

}  // namespace pelorin
