// The search through a file's records: where in a record a text is found, forwards and
// backwards through an index, case and whole words, misses, a hit in the last record of a large
// library, pieces of any size, progress, stopping, and files that change under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/uRecordSearch.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

// An SDF record of one carbon atom with a title and data items, lines ending in `eol`.
std::string Record(const std::string& title, const std::vector<std::pair<std::string, std::string>>& items,
                   const std::string& eol = "\n") {
  std::string text = title + eol + "  -OEChem-" + eol + eol + "  1  0  0  0  0  0  0  0  0  0999 V2000" + eol +
                     "    1.2000    3.4000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0" + eol + "M  END" + eol;
  for (const auto& [name, value] : items) text += ">  <" + name + ">" + eol + value + eol + eol;
  return text + "$$$$" + eol;
}

// The catalogue record `i` of a generated library: "PEL-" and six digits.
std::string Catalogue(size_t i) {
  std::string digits = std::to_string(i);
  return "PEL-" + std::string(6 - std::min<size_t>(6, digits.size()), '0') + digits;
}

std::string Library(size_t records) {
  std::string text;
  for (size_t i = 0; i < records; ++i)
    text += Record("compound " + std::to_string(i), {{"ID", Catalogue(i)}, {"SUPPLIER", "Acme Chemicals"}});
  return text;
}

// Whether a piece of the record holds the text, by the plainest search there is.
bool HoldsPlainly(const std::string& record, std::string needle, bool matchCase) {
  auto fold = [&](std::string text) {
    if (!matchCase)
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  needle = fold(needle);
  TSDFPieces pieces(record);
  TSDFPiece piece;
  while (pieces.Next(piece))
    if (fold(std::string(piece.Text)).find(needle) != std::string::npos) return true;
  return false;
}

TSearchQuery Query(const std::string& text, bool matchCase = false, bool wholeWords = false, bool backwards = false) {
  return TSearchQuery{text, matchCase, wholeWords, backwards};
}

// A file and its finished index.
class TIndexedFile {
 public:
  explicit TIndexedFile(const std::string& text, TRecordRule rule = TRecordRule::kSDF)
      : path_(dir_.File(rule == TRecordRule::kSDF ? "lib.sdf" : "lib.smi")), index_(Write(path_, text), rule) {
    EXPECT_EQ(BuildRecordIndex(index_), TRecordIndexState::kComplete);
  }
  const TRecordIndex& Index() const { return index_; }
  const std::string& Path() const { return path_; }

  // The record found from `from`, or -1 when none; fails the test on anything but found or not found.
  long Find(const TSearchQuery& query, size_t from, size_t chunkSize = kSearchChunkSize) const {
    TSearchControl control;
    control.ChunkSize = chunkSize;
    TSearchHit hit;
    std::string error;
    const TSearchOutcome outcome = SearchRecords(index_, query, from, control, hit, error);
    EXPECT_TRUE(outcome == TSearchOutcome::kFound || outcome == TSearchOutcome::kNotFound) << error;
    return outcome == TSearchOutcome::kFound ? static_cast<long>(hit.Record) : -1;
  }

 private:
  static std::string Write(const std::string& path, const std::string& text) {
    WriteFileBytes(path, text);
    return path;
  }
  TTempDir dir_;
  std::string path_;
  TRecordIndex index_;
};

TEST(RecordSearch, WhereInARecordTheTextStands) {
  const std::string record =
      Record("Caffeine anhydrous", {{"ID", "PEL-0042"}, {"NOTE", "first line\nbitter, white powder"}}, "\r\n");
  const struct {
    const char* name;
    TSearchQuery query;
    bool found;
    TSearchPlace place;
    size_t item, line, offset;
  } cases[] = {
      {"title", Query("anhydrous"), true, TSearchPlace::kTitle, 0, 0, 9},
      {"title before items", Query("caffeine"), true, TSearchPlace::kTitle, 0, 0, 0},
      {"item name", Query("note"), true, TSearchPlace::kItemName, 1, 0, 0},
      {"item value", Query("pel-0042"), true, TSearchPlace::kItemValue, 0, 0, 0},
      {"second line of a value", Query("white"), true, TSearchPlace::kItemValue, 1, 1, 8},
      {"case asked for", Query("Caffeine", true), true, TSearchPlace::kTitle, 0, 0, 0},
      {"case that does not match", Query("CAFFEINE", true), false, {}, 0, 0, 0},
      {"whole word", Query("white", false, true), true, TSearchPlace::kItemValue, 1, 1, 8},
      {"part of a word", Query("whit", false, true), false, {}, 0, 0, 0},
      {"part of a word, words not asked", Query("hite"), true, TSearchPlace::kItemValue, 1, 1, 9},
      {"a query that ends in a non-word byte", Query("bitter,", false, true), true, TSearchPlace::kItemValue, 1, 1, 0},
      {"the atom block is not searched", Query("1.2000"), false, {}, 0, 0, 0},
      {"nor the counts or end lines", Query("V2000"), false, {}, 0, 0, 0},
      {"nor the program line", Query("OEChem"), false, {}, 0, 0, 0},
      {"no text across lines", Query("line\r\nbitter"), false, {}, 0, 0, 0},
      {"an empty query finds nothing", Query(""), false, {}, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchHit hit;
    hit.Record = 7;
    ASSERT_EQ(FindInRecord(TSearchPlaces::kMolfile, record, c.query, hit), c.found);
    if (!c.found) continue;
    EXPECT_EQ(hit.Place, c.place);
    EXPECT_EQ(hit.Item, c.item);
    EXPECT_EQ(hit.Line, c.line);
    EXPECT_EQ(hit.Offset, c.offset);
    EXPECT_EQ(hit.Length, c.query.Text.size());
    EXPECT_EQ(hit.Record, 7u) << "the record number is the caller's";
  }
  // A SMILES record: its line, the blank lines before it not counted.
  TSearchHit hit;
  ASSERT_TRUE(
      FindInRecord(TSearchPlaces::kTextLine, "  \n\nCn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\n", Query("CAFF"), hit));
  EXPECT_EQ(hit.Place, TSearchPlace::kLine);
  EXPECT_EQ(hit.Line, 0u);
  EXPECT_EQ(hit.Offset, 27u);
  EXPECT_TRUE(FindInRecord(TSearchPlaces::kTextLine, "CCO ethanol\n", Query("cco", false, true), hit));
  EXPECT_FALSE(FindInRecord(TSearchPlaces::kTextLine, "CCO ethanol\n", Query("CC", false, true), hit));
}

TEST(RecordSearch, ForwardsBackwardsFromAnyRecordAndMisses) {
  const TIndexedFile file(Library(30));
  const TRecordIndex& index = file.Index();
  ASSERT_EQ(index.Count(), 30u);
  EXPECT_EQ(file.Find(Query("PEL-000012"), 0), 12);
  EXPECT_EQ(file.Find(Query("pel-000012"), 0), 12) << "case does not matter unless asked";
  EXPECT_EQ(file.Find(Query("pel-000012", true), 0), -1);
  EXPECT_EQ(file.Find(Query("PEL-000012"), 12), 12) << "the first record searched is included";
  EXPECT_EQ(file.Find(Query("PEL-000012"), 13), -1) << "no wrapping round";
  EXPECT_EQ(file.Find(Query("compound 2"), 0), 2);
  EXPECT_EQ(file.Find(Query("compound 2"), 3), 20) << "the next record that holds it";
  EXPECT_EQ(file.Find(Query("compound 2", false, true), 3), -1) << "\"compound 20\" holds no word \"2\"";
  EXPECT_EQ(file.Find(Query("compound 2", false, false, true), 29), 29);
  EXPECT_EQ(file.Find(Query("compound 2", false, false, true), 28), 28);
  EXPECT_EQ(file.Find(Query("compound 2", false, false, true), 19), 2);
  EXPECT_EQ(file.Find(Query("compound 2", false, true, true), 1000), 2) << "backwards from beyond the last record";
  EXPECT_EQ(file.Find(Query("PEL-000012", false, false, true), 11), -1);
  EXPECT_EQ(file.Find(Query("supplier"), 5), 5) << "item names are searched";
  EXPECT_EQ(file.Find(Query("nowhere"), 0), -1);
  EXPECT_EQ(file.Find(Query("PEL-000012"), 30), -1) << "from beyond the last record";

  const TIndexedFile smiles("CCO ethanol\n\nc1ccccc1 benzene\nCC(=O)O acetic acid\n", TRecordRule::kSMILES);
  EXPECT_EQ(smiles.Find(Query("c1ccccc1"), 0), 1);
  EXPECT_EQ(smiles.Find(Query("ACID"), 0), 2);
  EXPECT_EQ(smiles.Find(Query("cc", false, false, true), 2), 2);
  EXPECT_EQ(smiles.Find(Query("cc", false, true, true), 2), 2) << "\"CC(\" holds the word";
  EXPECT_EQ(smiles.Find(Query("cc", false, true, true), 1), -1);
}

TEST(RecordSearch, AnyPieceSizeFindsWhatEachRecordHolds) {
  // Titles of random bytes from a small alphabet, so that queries of common bytes (digits) and
  // of rare ones, in both cases, match in many places; each record also carries an item.
  std::mt19937 random(19);
  const std::string alphabet = "0123456789 CcNnOo-xX";
  std::string text;
  std::vector<std::string> titles;
  for (int i = 0; i < 400; ++i) {
    std::string title;
    for (int n = 0; n < 30; ++n) title += alphabet[random() % alphabet.size()];
    titles.push_back(title);
    text += Record(title, {{"N" + std::to_string(i % 7), "value " + std::to_string(i)}});
  }
  const TIndexedFile file(text);
  for (const std::string needle : {"123", "0 0", "cNo", "Xx", "n", "9-", "value 39", "xc0"}) {
    for (bool matchCase : {false, true}) {
      const TSearchQuery query = Query(needle, matchCase);
      // The records that hold it, each piece looked through byte by byte.
      std::vector<long> expected;
      for (size_t i = 0; i < titles.size(); ++i) {
        std::string record, error;
        ASSERT_TRUE(file.Index().ReadRecord(i, record, error));
        if (HoldsPlainly(record, needle, matchCase)) expected.push_back(static_cast<long>(i));
      }
      for (size_t chunk : {size_t{1}, size_t{700}, size_t{4096}, kSearchChunkSize}) {
        SCOPED_TRACE(needle + (matchCase ? " matching case" : "") + " in pieces of " + std::to_string(chunk));
        std::vector<long> forwards, backwards;
        for (long at = file.Find(query, 0, chunk); at >= 0; at = file.Find(query, static_cast<size_t>(at) + 1, chunk))
          forwards.push_back(at);
        TSearchQuery back = query;
        back.Backwards = true;
        for (long at = file.Find(back, titles.size(), chunk); at >= 0;
             at = at == 0 ? -1 : file.Find(back, static_cast<size_t>(at) - 1, chunk))
          backwards.insert(backwards.begin(), at);
        EXPECT_EQ(forwards, expected);
        EXPECT_EQ(backwards, expected);
      }
    }
  }
}

TEST(RecordSearch, HitInTheLastRecordOfALargeLibraryWithProgress) {
  const size_t records = 20000;
  std::string text = Library(records - 1);
  text += Record("the last one", {{"ID", "PEL-LAST-1"}, {"SUPPLIER", "Acme Chemicals"}}, "\r\n");
  const TIndexedFile file(text);
  ASSERT_EQ(file.Index().Count(), records);

  TSearchControl control;
  control.ChunkSize = 1 << 16;
  std::vector<std::pair<uint64_t, uint64_t>> reports;
  control.Progress = [&](uint64_t done, uint64_t total) { reports.emplace_back(done, total); };
  TSearchHit hit;
  std::string error;
  ASSERT_EQ(SearchRecords(file.Index(), Query("pel-last-1", false, true), 0, control, hit, error),
            TSearchOutcome::kFound)
      << error;
  EXPECT_EQ(hit.Record, records - 1);
  EXPECT_EQ(hit.Place, TSearchPlace::kItemValue);
  EXPECT_EQ(hit.Item, 0u);
  ASSERT_GT(reports.size(), 10u);
  for (size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i].first, reports[i - 1].first);
  EXPECT_EQ(reports.back().second, text.size());
  EXPECT_LE(reports.back().first, text.size());

  // Backwards from the end finds it at once; a stop asked before the search ends it.
  EXPECT_EQ(file.Find(Query("PEL-LAST-1", true, false, true), records - 1), static_cast<long>(records - 1));
  TStopSource stop;
  stop.RequestStop();
  control.Stop = stop.Token();
  EXPECT_EQ(SearchRecords(file.Index(), Query("PEL-LAST-1"), 0, control, hit, error), TSearchOutcome::kStopped);
}

TEST(RecordSearch, FollowsAnIndexStillBeingBuiltAndReportsFiles) {
  TTempDir dir;
  const std::string path = dir.File("growing.sdf");
  WriteFileBytes(path, Library(5000) + Record("final", {{"ID", "PEL-FINAL"}}));
  TRecordIndex index(path);
  std::thread pass([&] { BuildRecordIndex(index, {}, {}, 4096); });
  TSearchHit hit;
  std::string error;
  const TSearchOutcome outcome = SearchRecords(index, Query("pel-final"), 0, TSearchControl{}, hit, error);
  pass.join();
  ASSERT_EQ(outcome, TSearchOutcome::kFound) << error;
  EXPECT_EQ(hit.Record, 5000u);

  // A pass stopped before the search gets there stops it; a file cut short since the pass fails it.
  TRecordIndex cancelled(path);
  TStopSource stopped;
  stopped.RequestStop();
  BuildRecordIndex(cancelled, stopped.Token());
  EXPECT_EQ(SearchRecords(cancelled, Query("pel-final"), 0, TSearchControl{}, hit, error), TSearchOutcome::kStopped);

  TRecordIndex complete(path);
  ASSERT_EQ(BuildRecordIndex(complete), TRecordIndexState::kComplete);
  WriteFileBytes(path, Library(10));
  EXPECT_EQ(SearchRecords(complete, Query("pel-final"), 0, TSearchControl{}, hit, error), TSearchOutcome::kFailed);
  EXPECT_NE(error.find("shorter"), std::string::npos) << error;

  TRecordIndex missing(dir.File("missing.sdf"));
  BuildRecordIndex(missing);
  EXPECT_EQ(SearchRecords(missing, Query("x"), 0, TSearchControl{}, hit, error), TSearchOutcome::kFailed);
  EXPECT_NE(error.find("missing.sdf"), std::string::npos) << error;
}

}  // namespace
}  // namespace pelorin
