// Tests of the record index: XYZ frames and PDB models as records, their texts read back within
// limits, the pass on another thread and its stop, and files that change. (Each format's own record
// rule is tested in its module's test file.)
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/uMolSurvey.h"
#include "formats/uRecordIndex.h"
#include "record_test_util.h"
#include "support/uFileIO.h"
#include "test_temp_dir.h"

namespace pelorin {
namespace {

using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

using namespace record_test;

// The frames of XYZ files and the models of PDB files as records, by their formats' rules.
TEST(RecordIndex, FramesAndModelsOfXYZAndPDB) {
  const std::string atom = "ATOM      1  N   GLY A   1       1.000   1.000   1.000  1.00  0.00           N";
  ExpectRecordCases({
      {"XYZ: blank lines between blocks go, an empty block counts, the last may lack a break",
       TRecordRule::kXYZ,
       "\n2\nwater\nO 0 0 0\rH 1 0 0\r\n\n0\nnone\n1\n\nHe 0 0 0",
       {"2\r\nwater\r\nO 0 0 0\r\nH 1 0 0\r\n", "0\r\nnone\r\n", "1\r\n\r\nHe 0 0 0\r\n"}},
      {"XYZ: a block the file's end cuts counts; no count line ends the records",
       TRecordRule::kXYZ,
       "1\nt\nH 0 0 0\nnot a count\n1\nt\nH 0 0 0\n",
       {"1\r\nt\r\nH 0 0 0\r\n"}},
      {"XYZ cut", TRecordRule::kXYZ, "3\nt\nH 0 0 0\n", {"3\r\nt\r\nH 0 0 0\r\n"}},
      {"PDB models: ENDMDL ends one that holds atoms, END the last; MODEL ends nothing",
       TRecordRule::kPDB,
       "HEADER\nENDMDL\nMODEL 1\n" + atom + "\r\nMODEL 2\n" + atom + "\nENDMDL\r\nMODEL 3\n" + atom +
           "\nENDMDL\nCONECT\nEND\n" + atom + "\n",
       {"HEADER\r\nENDMDL\r\nMODEL 1\r\n" + atom + "\r\nMODEL 2\r\n" + atom + "\r\nENDMDL\r\n",
        "MODEL 3\r\n" + atom + "\r\nENDMDL\r\n"}},
      {"PDB without models is one record; the file's end may cut it",
       TRecordRule::kPDB,
       "REMARK\n" + atom + "\n" + atom,
       {"REMARK\r\n" + atom + "\r\n" + atom + "\r\n"}},
      {"PDB END after atoms", TRecordRule::kPDB, atom + "\rEND\r\n" + atom, {atom + "\r\nEND\r\n"}},
      {"PDB without atoms", TRecordRule::kPDB, "REMARK\nEND\n", {}},
  });
}

// A record larger than a reader allows is not read; a read of one is stopped by its token, the
// pass of a caller without an index too; such a caller finds a record within a bound.
TEST(RecordIndex, ReadsWithinLimits) {
  TTempDir dir;
  const std::string path = dir.File("in.sdf");
  const std::string large = "big\n" + std::string(3 * kReadChunkSize, 'x') + "\n$$$$\n";
  WriteFileBytes(path, kThreeRecords[0] + large);
  TRecordIndex index(path);
  ASSERT_EQ(BuildRecordIndex(index), TRecordIndexState::kComplete);
  std::string text, error;
  EXPECT_EQ(index.ReadRecordWithin(1, {large.size() - 1, {}}, text, error), TRecordRead::kTooLarge);
  EXPECT_EQ(error, "Cannot read " + path + ": record 2 holds " + std::to_string(large.size()) + " bytes, more than " +
                       std::to_string(large.size() - 1));
  TStopSource stop;
  const TStopSource never;
  EXPECT_EQ(index.ReadRecordWithin(1, {large.size(), never.Token()}, text, error), TRecordRead::kRead) << error;
  EXPECT_EQ(text.size(), large.size() + 3);
  stop.RequestStop();
  EXPECT_EQ(index.ReadRecordWithin(1, {UINT64_MAX, stop.Token()}, text, error), TRecordRead::kCancelled);
  EXPECT_EQ(text, "");
  EXPECT_EQ(error, "Cannot read " + path + ": the read was stopped");
  EXPECT_EQ(ReadFileRecord(path, TRecordRule::kSDF, 0, 100, {UINT64_MAX, stop.Token()}, text, error),
            TRecordRead::kCancelled);
  EXPECT_EQ(error, "Cannot read " + path + ": the read was stopped");

  EXPECT_EQ(ReadFileRecord(path, TRecordRule::kSDF, 0, 100, {}, text, error), TRecordRead::kRead);
  EXPECT_EQ(text, kThreeRecords[0]);
  EXPECT_EQ(ReadFileRecord(path, TRecordRule::kSDF, 1, kReadChunkSize, {}, text, error), TRecordRead::kTooLarge);
  EXPECT_EQ(ReadFileRecord(path, TRecordRule::kSDF, 2, UINT64_MAX, {}, text, error), TRecordRead::kFailed);
  EXPECT_EQ(error, "Cannot read " + path + ": no record 3");
  EXPECT_EQ(ReadFileRecord(dir.File("missing.xyz"), TRecordRule::kXYZ, 0, 100, {}, text, error), TRecordRead::kFailed);
  EXPECT_EQ(error.rfind("Cannot read " + dir.File("missing.xyz") + ": ", 0), 0u) << error;
}

TEST(RecordIndex, UnreadableFileGivesNoRecords) {
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

// The first records can be read on another thread while the pass is still under way.
TEST(RecordIndex, RecordsAreReadableBeforeThePassEnds) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  WriteFileBytes(path, ThreeRecords("\n"));
  TRecordIndex index(path);
  std::mutex mutex;
  std::condition_variable changed;
  bool firstSeen = false, released = false;
  std::thread pass([&] {
    BuildRecordIndex(
        index, {},
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

TEST(RecordIndex, StopEndsThePassAndKeepsTheRecordsKnown) {
  TTempDir dir;
  std::string path = dir.File("in.sdf");
  WriteFileBytes(path, ThreeRecords("\r\n"));
  TRecordIndex index(path);
  TStopSource stop;
  EXPECT_EQ(BuildRecordIndex(
                index, stop.Token(), [&](const TRecordIndex&) { stop.RequestStop(); }, 8),
            TRecordIndexState::kCancelled);
  ASSERT_EQ(index.Count(), 1u);
  EXPECT_EQ(ReadIndexed(index), TRecords{kThreeRecords[0]});
  // A builder dropped halfway leaves no index waiting for ever.
  TRecordIndex dropped(path);
  TRecordIndexBuilder(dropped, {}, 8).Step();
  EXPECT_EQ(dropped.State(), TRecordIndexState::kCancelled);
}

// A file rewritten, shortened or removed after the pass gives errors, never wrong text.
TEST(RecordIndex, ChangedFileGivesErrorsNotOtherText) {
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

#ifdef _WIN32
// The pass reads a library shared with everyone: it can be renamed, or deleted, while its records
// are counted, and the pass still counts them all.
TEST(RecordIndex, LibraryRenamedOrDeletedWhileCounted) {
  TTempDir dir;
  std::string text;
  while (text.size() < 3 * kReadChunkSize) text += ThreeRecords("\r\n");
  const size_t records = 3 * (text.size() / ThreeRecords("\r\n").size());
  for (const bool deleted : {false, true}) {
    SCOPED_TRACE(deleted ? "deleted" : "renamed");
    const std::string path = dir.File("library.sdf"), moved = dir.File("renamed.sdf");
    WriteFileBytes(path, text);
    TRecordIndex index(path);
    TRecordIndexBuilder builder(index);
    ASSERT_TRUE(builder.Step());
    if (deleted)
      EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
    else
      EXPECT_TRUE(MoveFileA(path.c_str(), moved.c_str())) << GetLastError();
    while (builder.Step()) {
    }
    EXPECT_EQ(index.State(), TRecordIndexState::kComplete) << index.Error();
    EXPECT_EQ(index.Count(), records);
    DeleteFileA(moved.c_str());
  }
}

// A read that never answers (a pipe whose other end writes nothing) ends when the pass is stopped.
TEST(RecordIndex, StopEndsAReadThatNeverAnswers) {
  const std::string pipe = "\\\\.\\pipe\\pelorin_stalled_" + std::to_string(GetCurrentProcessId()) + ".sdf";
  HANDLE server =
      CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  TRecordIndex index(pipe);
  TStopSource stop;
  std::thread pass([&index, &stop] { BuildRecordIndex(index, stop.Token()); });
  const BOOL connected = ConnectNamedPipe(server, nullptr);
  EXPECT_TRUE(connected || GetLastError() == ERROR_PIPE_CONNECTED);
  Sleep(300);  // the pass is in its read
  EXPECT_EQ(index.State(), TRecordIndexState::kBuilding);
  const auto start = std::chrono::steady_clock::now();
  stop.RequestStop();
  pass.join();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  EXPECT_EQ(index.State(), TRecordIndexState::kCancelled);
  CloseHandle(server);
}
#endif

#ifndef _WIN32
// Offsets past 4 GB: a sparse file whose last record starts beyond them (where holes are cheap).
TEST(RecordIndex, RecordsBeyondFourGigabytes) {
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
TEST(RecordIndex, ConverterRecordsRoundTrip) {
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
