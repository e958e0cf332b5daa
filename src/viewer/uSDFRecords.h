// Multi-record SDF files: cutting them into record texts and writing one record to a temporary input.
#pragma once

#include <string>
#include <vector>

namespace pelorin {

// Fills `records` with the file's records in file order. Each record is its lines, each
// followed by CR LF (whatever break the file used), up to and including the "$$$$" line;
// a last record without "$$$$" is kept unless it is blank. A file that cannot be opened or
// read, or that does not fit in memory, gives an empty list.
void SplitSDF(const std::string& fileName, std::vector<std::string>& records);

// Creates or truncates `path` and writes `recordText` unchanged. On failure returns false,
// sets `error` to "Temp file write error: " + the reason, and removes a file it created.
[[nodiscard]] bool WriteRecordTemp(const std::string& path, const std::string& recordText, std::string& error);

}  // namespace pelorin
