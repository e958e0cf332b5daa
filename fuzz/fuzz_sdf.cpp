// Fuzz target: the record index of arbitrary bytes written to a file, by every format's record
// rule, read in chunks that cut lines and breaks everywhere against the file read in one chunk;
// its record count against the survey's (one rule).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/uMolSurvey.h"
#include "formats/uRecordIndex.h"

namespace {

using namespace pelorin;

// Every record of the index; traps when one cannot be read.
std::vector<std::string> ReadAll(const TRecordIndex& index) {
  std::vector<std::string> records(index.Count());
  std::string error;
  for (size_t i = 0; i < records.size(); ++i)
    if (!index.ReadRecord(i, records[i], error)) __builtin_trap();
  return records;
}

std::vector<std::string> IndexedRecords(const std::string& path, TRecordRule rule, size_t chunkSize) {
  TRecordIndex index(path, rule);
  if (BuildRecordIndex(index, {}, {}, chunkSize) != TRecordIndexState::kComplete) __builtin_trap();
  return ReadAll(index);
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/fuzz_sdf_" + std::to_string(getpid()) + ".sdf";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const size_t chunkSize = size ? 1 + data[0] % 13 : 1;
  // SDF: every record ends in a line break and none is blank; the chunks change nothing.
  const std::vector<std::string> records = IndexedRecords(path, TRecordRule::kSDF, kReadChunkSize);
  for (const std::string& r : records) {
    if (r.size() < 2 || r.compare(r.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    if (std::all_of(r.begin(), r.end(), IsBlank)) __builtin_trap();
  }
  if (IndexedRecords(path, TRecordRule::kSDF, chunkSize) != records) __builtin_trap();
  // One record per non-blank line, against the bytes cut into lines in one go.
  std::vector<std::string> lines;
  std::string line;
  auto endLine = [&] {
    if (!std::all_of(line.begin(), line.end(), IsBlank)) lines.push_back(line + "\r\n");
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
  if (IndexedRecords(path, TRecordRule::kSMILES, chunkSize) != lines) __builtin_trap();
  // Every rule: the chunks change nothing, every record holds a line, and the survey counts as many.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::pair<TRecordRule, TMolFormat> rules[] = {
      {TRecordRule::kSDF, TMolFormat::Sdf},   {TRecordRule::kSMILES, TMolFormat::Smiles},
      {TRecordRule::kMOL2, TMolFormat::Mol2}, {TRecordRule::kXYZ, TMolFormat::Xyz},
      {TRecordRule::kPDB, TMolFormat::Pdb},   {TRecordRule::kCML, TMolFormat::Cml}};
  for (const auto& [rule, format] : rules) {
    const std::vector<std::string> whole = IndexedRecords(path, rule, kReadChunkSize);
    if (IndexedRecords(path, rule, chunkSize) != whole) __builtin_trap();
    for (const std::string& r : whole)
      if (r.size() < 2 || r.compare(r.size() - 2, 2, "\r\n") != 0) __builtin_trap();
    if (SurveyRecords(text, format).RecordCount != static_cast<int64_t>(whole.size())) __builtin_trap();
  }
  return 0;
}
