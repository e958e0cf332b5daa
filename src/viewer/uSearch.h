// The host's search in a viewer window: its find dialog's text looked for in the file's records
// off the host's thread, the hit shown and marked.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pelorin {

// Looks for any of `queries` (the forms of one text: the nearest hit of any counts) in the
// window's file as the host's flags say (kSearchFindFirst and the others, uViewerLogic.h), from
// the record after the shown one. The host's thread waits, handling messages; after a second the
// navigation bar shows the progress and the next key stops the search. A hit shows its record
// and marks the match (in the fields panel, or the title in the bar): true. A miss says
// "Not found" in the bar: false, as for a stopped search, a file that cannot be read and a
// window that is no viewer.
[[nodiscard]] bool SearchInWindow(HWND wnd, const std::vector<std::string>& queries, int flags);

}  // namespace pelorin
