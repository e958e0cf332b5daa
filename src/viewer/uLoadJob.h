// One load of a viewer window as a job: a request (file, record, mode) in, the view it makes out.
// It reads nothing of the window, so it runs on any thread (TLoadThread runs it on its own).
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>

#include "formats/uRecordIndex.h"
#include "model3d/uAtomModel.h"
#include "support/uConfig.h"
#include "support/uStopToken.h"
#include "viewer/uShownView.h"

namespace pelorin {

struct TLoadRequest {
  std::string FileName;
  // Null for a file without records; may still be filled by the record pass: the job waits for
  // its record.
  std::shared_ptr<const TRecordIndex> Records;
  int32_t Record = 0;
  TViewMode Mode = TViewMode::k2D;
  // How the window draws atom models, which decides what their model holds; the window's first
  // load starts before the window knows, and an atom model waits for it.
  std::shared_future<TAtomDrawing> AtomDrawing;
};

// Makes the view of `request`: the 2D drawing with its SVG, or the 3D model (surface or atoms),
// and an SDF record's data; on failure a view that is not Ready, its ErrorMsg saying why. `stop`
// ends the job early (its converter and the record's read at once); the view is then of no use.
// The view's Key is left to the caller.
TShownView RunLoadJob(const TLoadRequest& request, const TStopToken& stop);

}  // namespace pelorin
