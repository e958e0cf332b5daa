// Finding a text in the records of a file: in the places its format's row names (the titles, data
// item names and values of SDF records, the line of a SMILES record, every line of the others). The file is read in
// large pieces and scanned as raw bytes first; only a record where the bytes match is cut into its pieces and looked at
// closely, so a search runs at about the speed of reading the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "formats/uRecordIndex.h"
#include "formats/uSDFData.h"
#include "support/uStopToken.h"

namespace pelorin {

// What to look for and how. Letter case is told apart for ASCII letters only.
struct TSearchQuery {
  std::string Text;  // the bytes to find; an empty text finds nothing
  bool MatchCase = false;
  bool WholeWords = false;  // the match may not start or end inside a word (letters, digits, '_', bytes >= 0x80)
  bool Backwards = false;   // from the first record searched towards the file's start
};

// Where in a record a match lies.
enum class TSearchPlace : uint8_t {
  kTitle,      // an SDF record's first line
  kItemName,   // the name of data item `Item`
  kItemValue,  // line `Line` of data item `Item`'s value
  kLine,       // line `Line` of the record's text as it is delivered (a SMILES record's line: 0)
};

// A record that holds the text, and the first place in it where it does (title, then each data
// item's name and value in order). Item and Line count from 0; Offset and Length are the bytes
// of the match within that title, name, value line or line.
struct TSearchHit {
  size_t Record = 0;
  TSearchPlace Place = TSearchPlace::kTitle;
  size_t Item = 0;
  size_t Line = 0;
  size_t Offset = 0;
  size_t Length = 0;
};

// The first of `places` in one record's text (as ReadRecord delivers it, or as the file holds it)
// that holds the query; false when none does. `hit.Record` is left as it is. For one-record
// files (a MOL file) and the record on screen.
[[nodiscard]] bool FindInRecord(TSearchPlaces places, std::string_view record, const TSearchQuery& query,
                                TSearchHit& hit);

enum class TSearchOutcome : uint8_t {
  kFound,
  kNotFound,
  kStopped,  // the stop token stopped, or the index's pass was stopped before the search got there
  kFailed,   // the file could not be read (the error says why)
};

// Files are searched in pieces of this size (a record larger than that is read whole).
inline constexpr size_t kSearchChunkSize = size_t{4} << 20;

// How a search reports and is stopped. `Progress` runs on the searching thread after every piece
// with the bytes searched so far and the bytes to search (which grows while the index is still
// being built); `Stop` is looked at before every piece.
struct TSearchControl {
  TStopToken Stop;
  std::function<void(uint64_t done, uint64_t total)> Progress;
  size_t ChunkSize = kSearchChunkSize;
};

// Searches the records of `index` for the query, from record `from` on (included) towards the
// file's end, or backwards towards its start; a search backwards from beyond the last record
// starts at the last. A search forwards through an index still being built goes on as the
// records are found. Finds the record closest to `from` and the first place in it.
[[nodiscard]] TSearchOutcome SearchRecords(const TRecordIndex& index, const TSearchQuery& query, size_t from,
                                           const TSearchControl& control, TSearchHit& hit, std::string& error);

}  // namespace pelorin
