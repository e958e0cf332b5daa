// Multi-record SDF files cut into record texts.
#pragma once

#include <string>
#include <vector>

namespace pelorin {

// Fills `records` with the file's records in file order. Each record is its lines, each
// followed by CR LF (whatever break the file used), up to and including the "$$$$" line;
// a last record without "$$$$" is kept unless it is blank. A file that cannot be opened or
// read, or that does not fit in memory, gives an empty list.
void SplitSDF(const std::string& fileName, std::vector<std::string>& records);

}  // namespace pelorin
