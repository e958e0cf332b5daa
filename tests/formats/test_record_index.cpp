// Tests of the record index of SDF and SMILES files: where records end, whatever the breaks and
// the chunks read, their texts read back, the pass on another thread, and files that change.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/uRecordIndex.h"
#include "support/uFileIO.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

using TRecords = std::vector<std::string>;

// Every record the index knows, each read from the file on its own.
TRecords ReadIndexed(const TRecordIndex& index) {
  TRecords records;
  for (size_t i = 0; i < index.Count(); ++i) {
    std::string text = "stale", error;
    EXPECT_TRUE(index.ReadRecord(i, text, error)) << "record " << i << ": " << error;
    records.push_back(text);
  }
  return records;
}

// The records of `text` from the index built with each chunk size must be `expected`.
void ExpectRecords(const std::string& text, const TRecords& expected, std::initializer_list<size_t> chunkSizes) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  WriteFileBytes(path, text);
  for (size_t chunkSize : chunkSizes) {
    SCOPED_TRACE("index read in chunks of " + std::to_string(chunkSize));
    TRecordIndex index(path);
    EXPECT_EQ(BuildRecordIndex(index, {}, chunkSize), TRecordIndexState::kComplete);
    EXPECT_EQ(ReadIndexed(index), expected);
  }
}

// Three small records written with the given line break.
std::string ThreeRecords(const std::string& eol) {
  std::string text;
  for (const char* name : {"one", "two", "three"}) text += name + eol + "  body" + eol + "M  END" + eol + "$$$$" + eol;
  return text;
}
const TRecords kThreeRecords = {"one\r\n  body\r\nM  END\r\n$$$$\r\n", "two\r\n  body\r\nM  END\r\n$$$$\r\n",
                                "three\r\n  body\r\nM  END\r\n$$$$\r\n"};

TEST(SDFIndex, RecordBoundaries) {
  const struct {
    const char* name;
    std::string text;
    TRecords records;
  } cases[] = {
      {"LF", ThreeRecords("\n"), kThreeRecords},
      {"CR", ThreeRecords("\r"), kThreeRecords},
      {"CR LF", ThreeRecords("\r\n"), kThreeRecords},
      {"mixed breaks and blanks or a tab around the end mark",
       "a\r\n  $$$$ \nb\r\t$$$$\t\r\n",
       {"a\r\n  $$$$ \r\n", "b\r\n\t$$$$\t\r\n"}},
      {"end mark with other text on the line, or five dollars, ends nothing",
       "a\n$$$$ next\nx $$$$\n$$$$$\n$$$$\n",
       {"a\r\n$$$$ next\r\nx $$$$\r\n$$$$$\r\n$$$$\r\n"}},
      {"case and count matter", "a\n$$$\n$$ $$\n", {"a\r\n$$$\r\n$$ $$\r\n"}},
      {"trailing blank lines make no record", "a\n$$$$\n\n  \n\t\n", {"a\r\n$$$$\r\n"}},
      {"last record without end mark, last line without break",
       "a\n$$$$\n\nb\nM  END",
       {"a\r\n$$$$\r\n", "\r\nb\r\nM  END\r\n"}},
      {"end mark as the very last bytes", "a\n$$$$", {"a\r\n$$$$\r\n"}},
      {"two end marks in a row", "a\n$$$$\n$$$$\nb\n$$$$\n", {"a\r\n$$$$\r\n", "$$$$\r\n", "b\r\n$$$$\r\n"}},
      {"leading blank lines stay in the record", "\n\n  title\n$$$$\n", {"\r\n\r\n  title\r\n$$$$\r\n"}},
      {"no end mark at all: the whole file", "mol\n  x\nM  END\n", {"mol\r\n  x\r\nM  END\r\n"}},
      {"blank file", " \n\r\n\t\n", {}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Chunks of 1 to 7 bytes cut every end mark and every CR LF at each place.
    ExpectRecords(c.text, c.records, {1, 2, 3, 4, 5, 6, 7, kReadChunkSize});
  }
}

// Lines and breaks that straddle the reader's chunks (1 MiB) must come out as in a short file.
TEST(SDFIndex, LinesAndBreaksAcrossLargeReads) {
  const size_t chunk = 1 << 20;
  std::string text;
  // A CR LF whose CR ends the first chunk and whose LF starts the second.
  std::string longLine(chunk - 1, 'x');
  text = longLine + "\r\n" + "$$$$\n";
  TRecords expected = {longLine + "\r\n$$$$\r\n"};
  // An end mark split over the second and third chunks, then a lone CR at the third's end.
  std::string filler(2 * chunk - text.size() - 4, 'y');
  text += filler + "\n $$";
  text += "$$\n";
  expected.push_back(filler + "\r\n $$$$\r\n");
  std::string tail(3 * chunk - text.size() - 1, 'z');
  text += tail + "\rlast\r";
  expected.push_back(tail + "\r\nlast\r\n");
  ASSERT_EQ(text.find("\n $$"), 2 * chunk - 4);
  ExpectRecords(text, expected, {kReadChunkSize});
}

// Many small records with every kind of break: most lie inside one read, some are cut by a
// read's end, one right after a lone CR, two inside a CR LF, and the last has no end mark.
TEST(SDFIndex, SmallRecordsAcrossLargeReads) {
  const size_t chunk = 1 << 20;
  const char* breaks[] = {"\n", "\r\n", "\r"};
  const char* marks[] = {"$$$$", " $$$$\t"};
  std::string text;
  TRecords expected;
  int k = 0;
  auto addRecords = [&](size_t until) {
    for (; text.size() < until; ++k) {
      std::string want;
      for (int i = 0; i < 1 + k % 7; ++i) {
        bool blank = i % 3 == 2;  // ends with CR LF: a lone LF after a lone CR would join it
        std::string line = blank ? "" : "line " + std::to_string(k) + "." + std::to_string(i);
        text += line + (blank ? "\r\n" : breaks[(k + i) % 3]);
        want += line + "\r\n";
      }
      text += marks[k % 2] + std::string(breaks[k % 3]);
      expected.push_back(want + marks[k % 2] + "\r\n");
    }
  };
  auto addPaddedRecord = [&](size_t breakAt, const std::string& lineBreak) {
    std::string pad(breakAt - text.size(), 'p');
    text += pad + lineBreak + "$$$$\n";
    expected.push_back(pad + "\r\n$$$$\r\n");
  };
  addRecords(chunk - 300);
  addPaddedRecord(chunk - 1, "\r");
  addRecords(2 * chunk - 300);
  addPaddedRecord(2 * chunk - 1, "\r\n");
  addRecords(3 * chunk - 300);
  std::string pad(3 * chunk - 1 - 5 - text.size(), 'q');  // an end mark's CR LF across reads
  text += pad + "\n$$$$\r\n";
  expected.push_back(pad + "\r\n$$$$\r\n");
  addRecords(3 * chunk + chunk / 2);
  text += "tail\r\n\nM  END";
  expected.push_back("tail\r\n\r\nM  END\r\n");
  ASSERT_EQ(text.substr(chunk - 1, 2), "\r$");
  ASSERT_EQ(text.substr(2 * chunk - 1, 3), "\r\n$");
  ASSERT_EQ(text.substr(3 * chunk - 5, 6), "$$$$\r\n");
  ExpectRecords(text, expected, {kReadChunkSize});
}

TEST(SDFIndex, UnreadableFileGivesNoRecords) {
  TTempDir dir;
  // A folder opens on some systems but never reads.
  for (const std::string& path : {dir.File("missing.sdf"), dir.Dir()}) {
    SCOPED_TRACE(path);
    TRecordIndex index(path);
    EXPECT_EQ(BuildRecordIndex(index), TRecordIndexState::kFailed);
    EXPECT_EQ(index.Count(), 0u);
    EXPECT_EQ(index.Error().rfind("Cannot read " + path + ": ", 0), 0u) << index.Error();
  }
}

// The lines of a SMILES file as records: one per non-blank line, whatever the breaks and chunks.
TEST(SDFIndex, SmilesLinesAreRecords) {
  const struct {
    const char* name;
    std::string text;
    TRecords records;
  } cases[] = {
      {"LF, CR, CR LF, blank lines and blanks",
       "CCO ethanol\n\n  \nc1ccccc1\rC[NH3+] x\r\n\t\r\n\r\nO",
       {"CCO ethanol\r\n", "c1ccccc1\r\n", "C[NH3+] x\r\n", "O\r\n"}},
      {"a CR at the very end", "C\r", {"C\r\n"}},
      {"only blank lines", " \n\r\n\t", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    std::string path = dir.File("in.smi");
    WriteFileBytes(path, c.text);
    for (size_t chunkSize : {1, 2, 3, 5, 64}) {
      SCOPED_TRACE("chunks of " + std::to_string(chunkSize));
      TRecordIndex index(path, TRecordRule::kLines);
      EXPECT_EQ(BuildRecordIndex(index, {}, chunkSize), TRecordIndexState::kComplete);
      EXPECT_EQ(ReadIndexed(index), c.records);
    }
  }
  // A line that changed since the pass is an error, not another molecule.
  TTempDir dir;
  std::string path = dir.File("in.smi");
  WriteFileBytes(path, "CCO\nCCN\n");
  TRecordIndex index(path, TRecordRule::kLines);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete);
  WriteFileBytes(path, "CCO\nCC\nN\n");
  std::string text, error;
  EXPECT_FALSE(index.ReadRecord(1, text, error));
  EXPECT_EQ(error, "Cannot read " + path + ": the file has changed since its records were counted");
}

// The first records can be read on another thread while the pass is still under way.
TEST(SDFIndex, RecordsAreReadableBeforeThePassEnds) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  WriteFileBytes(path, ThreeRecords("\n"));
  TRecordIndex index(path);
  std::mutex mutex;
  std::condition_variable changed;
  bool firstSeen = false, released = false;
  std::thread pass([&] {
    BuildRecordIndex(
        index,
        [&](const TRecordIndex& known) {
          if (known.Count() == 0 || firstSeen) return;
          std::unique_lock<std::mutex> lock(mutex);
          firstSeen = true;
          changed.notify_all();
          changed.wait(lock, [&] { return released; });  // the pass waits while the reader works
        },
        8);
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return firstSeen; });
    EXPECT_EQ(index.State(), TRecordIndexState::kBuilding);
    EXPECT_EQ(index.Count(), 1u);
    std::string text, error;
    EXPECT_TRUE(index.ReadRecord(0, text, error)) << error;
    EXPECT_EQ(text, kThreeRecords[0]);
    EXPECT_FALSE(index.ReadRecord(1, text, error));
    EXPECT_EQ(error, "Record index out of range");
    released = true;
    changed.notify_all();
  }
  pass.join();
  EXPECT_EQ(index.State(), TRecordIndexState::kComplete);
  EXPECT_EQ(ReadIndexed(index), kThreeRecords);
}

TEST(SDFIndex, CancelStopsThePassAndKeepsTheRecordsKnown) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  WriteFileBytes(path, ThreeRecords("\r\n"));
  TRecordIndex index(path);
  EXPECT_EQ(BuildRecordIndex(
                index, [&](const TRecordIndex&) { index.Cancel(); }, 8),
            TRecordIndexState::kCancelled);
  ASSERT_EQ(index.Count(), 1u);
  EXPECT_EQ(ReadIndexed(index), TRecords{kThreeRecords[0]});
  // A builder dropped halfway leaves no index waiting for ever.
  TRecordIndex dropped(path);
  TRecordIndexBuilder(dropped, 8).Step();
  EXPECT_EQ(dropped.State(), TRecordIndexState::kCancelled);
}

// A file rewritten, shortened or removed after the pass gives errors, never wrong text.
TEST(SDFIndex, ChangedFileGivesErrorsNotOtherText) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  const std::string original = ThreeRecords("\n");
  WriteFileBytes(path, original);
  TRecordIndex index(path);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete);
  auto expectError = [&](size_t record, const std::string& reason) {
    std::string text = "stale", error;
    EXPECT_FALSE(index.ReadRecord(record, text, error));
    EXPECT_EQ(text, "");
    EXPECT_EQ(error, "Cannot read " + path + ": " + reason);
  };
  WriteFileBytes(path, original.substr(0, original.size() - 3));
  expectError(2, "the file is shorter than when its records were counted");
  std::string text, error;
  EXPECT_TRUE(index.ReadRecord(1, text, error)) << error;
  EXPECT_EQ(text, kThreeRecords[1]);
  std::string shifted = "x" + original.substr(0, original.size() - 1);  // same size, marks moved
  WriteFileBytes(path, shifted);
  expectError(0, "the file has changed since its records were counted");
  expectError(1, "the file has changed since its records were counted");
  std::filesystem::remove(path);
  EXPECT_FALSE(index.ReadRecord(0, text, error));
  EXPECT_EQ(error.rfind("Cannot read " + path + ": ", 0), 0u) << error;
}

#ifndef _WIN32
// Offsets past 4 GB: a sparse file whose last record starts beyond them (where holes are cheap).
TEST(SDFIndex, RecordsBeyondFourGigabytes) {
  TTempDir dir;
  std::string path = dir.File("big.sdf");
  const uint64_t farOffset = (4ull << 30) + 12345;
  {
    TFile f = OpenWriteTruncate(path);
    ASSERT_TRUE(f);
    std::fputs("a\n$$$$\nX", f.get());  // the second record spans the hole
    if (!SeekFile(f.get(), farOffset)) GTEST_SKIP() << "no 64-bit seek on this file system";
    std::fputs("\n$$$$\nfar\n$$$$\n", f.get());
    if (std::fclose(f.release()) != 0) GTEST_SKIP() << "no room for a sparse file";
  }
  TRecordIndex index(path);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete) << index.Error();
  ASSERT_EQ(index.Count(), 3u);
  uint64_t start = 0, end = 0;
  ASSERT_TRUE(index.RecordRange(2, start, end));
  EXPECT_EQ(start, farOffset + 6);
  std::string text, error;
  EXPECT_TRUE(index.ReadRecord(2, text, error)) << error;
  EXPECT_EQ(text, "far\r\n$$$$\r\n");
}

// Records from the real converter convert back, one by one, to the molecules they came from.
TEST(SDFIndex, ConverterRecordsRoundTrip) {
  TTempDir dir;
  std::string smiles = dir.File("three.smi"), sdf = dir.File("three.sdf");
  WriteFileBytes(smiles, "CCO ethanol\nc1ccccc1 benzene\nC[NH3+] methylammonium\n");
  std::string command = "/usr/bin/obabel \"" + smiles + "\" -O \"" + sdf + "\" --gen2d >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  TRecordIndex index(sdf);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete);
  const TRecords records = ReadIndexed(index);
  ASSERT_EQ(records.size(), 3u);
  const char* titles[] = {"ethanol", "benzene", "methylammonium"};
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(titles[i]);
    EXPECT_EQ(records[i].rfind(titles[i], 0), 0u);
    ASSERT_GE(records[i].size(), 6u);
    EXPECT_EQ(records[i].substr(records[i].size() - 6), "$$$$\r\n");
    std::string mol = dir.File("rec.mol"), error;
    ASSERT_TRUE(WriteRecordTemp(mol, records[i], error)) << error;
    std::string out = dir.File("rec.smi");
    command = "/usr/bin/obabel -imol \"" + mol + "\" -osmi -O \"" + out + "\" >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string converted = ReadFileBytes(out);
    EXPECT_NE(converted.find(titles[i]), std::string::npos) << converted;
    EXPECT_EQ(converted.find('\n'), converted.size() - 1) << "exactly one molecule: " << converted;
  }
}
#endif

}  // namespace
}  // namespace pelorin
