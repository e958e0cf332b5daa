// Fuzz target: SDF splitting and the record index (SDF records and SMILES lines) of arbitrary
// bytes written to a file.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/uRecordIndex.h"
#include "formats/uSDFRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/fuzz_sdf_" + std::to_string(getpid()) + ".sdf";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::vector<std::string> records;
  pelorin::SplitSDF(path, records);
  // Every record ends in a line break and none is blank.
  for (const std::string& r : records) {
    if (r.size() < 2 || r.compare(r.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    bool blank = std::all_of(r.begin(), r.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
    if (blank) __builtin_trap();
  }
  // The index, read in small chunks that cut lines and breaks everywhere, gives the same records.
  pelorin::TRecordIndex index(path);
  size_t chunkSize = size ? 1 + data[0] % 13 : 1;
  if (pelorin::BuildRecordIndex(index, {}, chunkSize) != pelorin::TRecordIndexState::kComplete) __builtin_trap();
  if (index.Count() != records.size()) __builtin_trap();
  std::string text, error;
  for (size_t i = 0; i < records.size(); ++i)
    if (!index.ReadRecord(i, text, error) || text != records[i]) __builtin_trap();
  // One record per non-blank line, against the bytes cut into lines in one go.
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::vector<std::string> lines;
  std::string line;
  auto endLine = [&] {
    if (!std::all_of(line.begin(), line.end(), isBlank)) lines.push_back(line + "\r\n");
    line.clear();
  };
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c != '\n' && c != '\r') {
      line += c;
      continue;
    }
    endLine();
    if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
  }
  endLine();
  pelorin::TRecordIndex byLines(path, pelorin::TRecordRule::kLines);
  if (pelorin::BuildRecordIndex(byLines, {}, chunkSize) != pelorin::TRecordIndexState::kComplete) __builtin_trap();
  if (byLines.Count() != lines.size()) __builtin_trap();
  for (size_t i = 0; i < lines.size(); ++i)
    if (!byLines.ReadRecord(i, text, error) || text != lines[i]) __builtin_trap();
  return 0;
}
