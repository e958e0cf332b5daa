// Fuzz target: SDF data items and the record search over arbitrary bytes. Two parameter bytes
// (query flags, record rule and piece size; query length), the query, then the file. The data
// items keep no more than the text's bytes; each record's search result matches a byte-by-byte
// search of its pieces; a search through the index finds exactly those records, forwards and
// backwards, in pieces of any size.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/uRecordSearch.h"

namespace {

using namespace pelorin;

bool IsWord(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || u >= 0x80;
}

char Fold(char c, bool matchCase) {
  return matchCase ? c : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The plainest search: every position, every byte compared.
bool HoldsPlainly(std::string_view text, const TSearchQuery& q) {
  const std::string& n = q.Text;
  for (size_t at = 0; at + n.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < n.size() && Fold(text[at + i], q.MatchCase) == Fold(n[i], q.MatchCase)) ++i;
    if (i < n.size()) continue;
    if (!q.WholeWords) return true;
    const bool left = !IsWord(n.front()) || at == 0 || !IsWord(text[at - 1]);
    const bool right = !IsWord(n.back()) || at + n.size() == text.size() || !IsWord(text[at + n.size()]);
    if (left && right) return true;
  }
  return false;
}

bool RecordHoldsPlainly(TRecordRule rule, const std::string& record, const TSearchQuery& q) {
  if (rule == TRecordRule::kSDF) {
    TSDFPieces pieces(record);
    TSDFPiece piece;
    while (pieces.Next(piece))
      if (HoldsPlainly(piece.Text, q)) return true;
    return false;
  }
  return HoldsPlainly(std::string_view(record).substr(0, record.size() - 2), q);  // the line without its CR LF
}

void CheckData(const std::string& record) {
  const TSDFRecordData data = ReadSDFRecordData(record);
  size_t kept = data.Title.size();
  for (const TDataItem& item : data.Items) kept += item.Name.size() + item.Value.size();
  if (kept > record.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const size_t queryLength = 1 + data[1] % 6;
  if (size < 2 + queryLength) return 0;
  TSearchQuery query;
  query.Text.assign(reinterpret_cast<const char*>(data) + 2, queryLength);
  query.MatchCase = flags & 1;
  query.WholeWords = flags & 2;
  const TRecordRule rule = flags & 4 ? TRecordRule::kSMILES : TRecordRule::kSDF;
  TSearchControl control;
  control.ChunkSize = 1 + (flags >> 3) * 37u;
  const char* text = reinterpret_cast<const char*>(data) + 2 + queryLength;
  const size_t textSize = size - 2 - queryLength;

  static const std::string path = "/tmp/fuzz_search_" + std::to_string(getpid()) + ".txt";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (textSize) std::fwrite(text, 1, textSize, f);
    std::fclose(f);
  }
  CheckData(std::string(text, textSize));
  TRecordIndex index(path, rule);
  if (BuildRecordIndex(index) != TRecordIndexState::kComplete) __builtin_trap();

  std::vector<size_t> expected;
  for (size_t i = 0; i < index.Count(); ++i) {
    std::string record, error;
    if (!index.ReadRecord(i, record, error)) __builtin_trap();
    TSearchHit hit;
    const bool found = FindInRecord(SearchPlacesOf(rule), record, query, hit);
    if (found != RecordHoldsPlainly(rule, record, query)) __builtin_trap();
    if (found && (hit.Length != query.Text.size())) __builtin_trap();
    if (found) expected.push_back(i);
  }
  std::vector<size_t> forwards, backwards;
  TSearchHit hit;
  std::string error;
  for (size_t from = 0; SearchRecords(index, query, from, control, hit, error) == TSearchOutcome::kFound;
       from = hit.Record + 1)
    forwards.push_back(hit.Record);
  query.Backwards = true;
  for (size_t from = index.Count(); SearchRecords(index, query, from, control, hit, error) == TSearchOutcome::kFound;
       from = hit.Record - 1) {
    backwards.insert(backwards.begin(), hit.Record);
    if (hit.Record == 0) break;
  }
  if (!error.empty() || forwards != expected || backwards != expected) __builtin_trap();
  return 0;
}
