// Shared helpers of the record and survey tests: a file's records as the index delivers them at
// every chunk size (checked against the survey's count), and the survey of a text whole and in
// pieces, so that each format's module states its cases as a table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "formats/uMolSurvey.h"
#include "formats/uRecordIndex.h"
#include "test_temp_dir.h"

namespace pelorin {

inline bool operator==(const TRecordSurvey& a, const TRecordSurvey& b) {
  return a.AtomCount == b.AtomCount && a.AtomCountKnown == b.AtomCountKnown && a.Has3D == b.Has3D;
}
inline void PrintTo(const TRecordSurvey& s, std::ostream* os) {
  *os << "{" << s.AtomCount << (s.AtomCountKnown ? " known" : " unknown") << (s.Has3D ? " 3D}" : " 2D}");
}

namespace record_test {

using TRecords = std::vector<std::string>;
using TSurvey = std::optional<TRecordSurvey>;

constexpr TRecordSurvey Atoms(int64_t count, bool known, bool has3D) {
  return TRecordSurvey{count, known, has3D};
}

// The text with every LF replaced by `eol`.
inline std::string WithBreaks(const std::string& text, const std::string& eol) {
  std::string out;
  for (char c : text) out += c == '\n' ? eol : std::string(1, c);
  return out;
}

// Every record the index knows, each read from the file on its own.
inline TRecords ReadIndexed(const TRecordIndex& index) {
  TRecords records;
  for (size_t i = 0; i < index.Count(); ++i) {
    std::string text = "stale", error;
    EXPECT_TRUE(index.ReadRecord(i, text, error)) << "record " << i << ": " << error;
    records.push_back(text);
  }
  return records;
}

#ifdef PELORIN_SAMPLES_DIR
inline std::string SamplePath(const std::string& name) {
  return std::string(PELORIN_SAMPLES_DIR) + "/" + name;
}
#endif

// A V2000 molfile of the given header line, counts and atom coordinates (columns 1-30).
inline std::string V2000(const std::string& header, const std::string& counts, const std::vector<std::string>& atoms) {
  std::string text = "title\n" + header + "\n\n" + counts + "  0  0  0  0  0  0  0  0999 V2000\n";
  for (const std::string& atom : atoms) text += atom + " C   0  0  0  0  0  0  0  0  0  0  0  0\n";
  return text + "  1  2  1  0  0  0  0\nM  END\n";
}
inline const std::string kFlat = "    0.0000    1.5000    0.0000";
inline const std::string kLifted = "    0.0000    1.5000   -0.0100";

// Three small SDF records written with the given line break, and their texts as delivered.
inline std::string ThreeRecords(const std::string& eol) {
  std::string text;
  for (const char* name : {"one", "two", "three"}) text += name + eol + "  body" + eol + "M  END" + eol + "$$$$" + eol;
  return text;
}
inline const TRecords kThreeRecords = {"one\r\n  body\r\nM  END\r\n$$$$\r\n", "two\r\n  body\r\nM  END\r\n$$$$\r\n",
                                       "three\r\n  body\r\nM  END\r\n$$$$\r\n"};

// The records of `text` from the index built with each chunk size must be `expected`, and as many
// as the survey counts (both walk the rule).
inline void ExpectRecords(const std::string& text, const TRecords& expected, std::initializer_list<size_t> chunkSizes,
                          TRecordRule rule = TRecordRule::kSDF) {
  pelorin_test::TTempDir dir;
  // A file of the rule's format (a record of SDF alone would be a MOL file).
  const std::string path =
      dir.File(rule == TRecordRule::kSDF ? "in.sdf" : "in" + std::string(RecordInputExtension(rule)));
  pelorin_test::WriteFileBytes(path, text);
  for (size_t chunkSize : chunkSizes) {
    SCOPED_TRACE("index read in chunks of " + std::to_string(chunkSize));
    TRecordIndex index(path, rule);
    EXPECT_EQ(BuildRecordIndex(index, {}, {}, chunkSize), TRecordIndexState::kComplete);
    EXPECT_EQ(ReadIndexed(index), expected);
  }
  EXPECT_EQ(SurveyRecords(text, MolFormatFromFileName(path)).RecordCount, static_cast<int64_t>(expected.size()));
}

// A text cut into records by a rule, at every chunk size from 1 to 7 bytes and in one chunk.
struct TRecordsCase {
  const char* name;
  TRecordRule rule;
  std::string text;
  TRecords records;
};
inline void ExpectRecordCases(const std::vector<TRecordsCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRecords(c.text, c.records, {1, 2, 3, 4, 5, 6, 7, kReadChunkSize}, c.rule);
  }
}

// The record counted and surveyed from pieces of `pieceSize` bytes, as a file reader feeds them.
inline std::pair<int64_t, TSurvey> InPieces(const std::string& text, TMolFormat format, int64_t index, size_t pieceSize,
                                            size_t maxLine = kSurveyMaxLineBytes) {
  TRecordCounter counter(format, maxLine);
  TRecordSurveyor surveyor(format, index, maxLine);
  bool surveying = true;
  for (size_t at = 0; at < text.size(); at += pieceSize) {
    std::string_view piece = std::string_view(text).substr(at, pieceSize);
    counter.Feed(piece);
    if (surveying) surveying = surveyor.Feed(piece);
  }
  return {counter.Finish().RecordCount, surveyor.Finish()};
}

// The records the survey counts in a text, whole and in one-byte pieces.
struct TCountCase {
  const char* name;
  TMolFormat format;
  std::string text;
  int64_t records;
  bool exact;
};
inline void ExpectCounts(const std::vector<TCountCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TMolSurvey survey = SurveyRecords(c.text, c.format);
    EXPECT_EQ(survey.RecordCount, c.records);
    EXPECT_EQ(survey.RecordCountExact, c.exact);
    EXPECT_EQ(InPieces(c.text, c.format, 0, 1).first, c.records);
  }
}

// The survey of record `index` of a text, whole and in one-byte pieces.
struct TSurveyCase {
  const char* name;
  TMolFormat format;
  std::string text;
  int64_t index;
  TSurvey record;
};
inline void ExpectSurveys(const std::vector<TSurveyCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SurveyRecord(c.text, c.format, c.index), c.record);
    EXPECT_EQ(InPieces(c.text, c.format, c.index, 1).second, c.record);
  }
}

}  // namespace record_test
}  // namespace pelorin
