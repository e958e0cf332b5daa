// What a molecule file holds, told from its bytes alone (no chemistry, no converter): how many
// records it has, and for one record its atom count and whether it carries 3D coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "formats/uMolFormat.h"
#include "formats/uRecordScan.h"
#include "support/uStopToken.h"

namespace pelorin {

struct TMolSurvey {
  // The records the record index finds by the format's rule (uRecordScan): SDF records, SMILES
  // lines, MOL2 @<TRIPOS>MOLECULE sections, XYZ blocks, PDB models that hold atoms, top-level CML
  // <molecule> elements (a CML file without one is one record). A MOL file is one record. A file
  // of blanks only has none.
  int64_t RecordCount = 0;
  // False when counting stopped at bytes the format does not allow there (an XYZ count line
  // that is no number): RecordCount is then the records before them.
  bool RecordCountExact = true;
};

struct TRecordSurvey {
  // The atoms the record's bytes hold, never more than it declares: a counts line that claims
  // more atoms than there are atom lines gives the atom lines found. SMILES counts the atoms
  // written in the string (implicit hydrogens are not), PDB and XYZ the atoms their readers
  // read, CML the <atom> elements (or the atomID entries of an array-form atomArray).
  int64_t AtomCount = 0;
  // True when AtomCount is the record's whole atom count: the declared count was read and the
  // bytes hold that many atoms (formats without a declared count: the whole record was counted).
  bool AtomCountKnown = false;
  // MOL/SDF: "3D" in the header's dimension code or an atom with a non-zero z. MOL2: an atom
  // with a non-zero z. CML: x3, y3 or z3 attributes. PDB, XYZ: always. SMILES: never.
  bool Has3D = false;
};

class TSurveyMachine;

// Counts records from bytes fed in pieces of any size, cut anywhere.
class TRecordCounter {
 public:
  explicit TRecordCounter(TMolFormat format, size_t maxLineBytes = kSurveyMaxLineBytes);
  ~TRecordCounter();
  TRecordCounter(const TRecordCounter&) = delete;
  TRecordCounter& operator=(const TRecordCounter&) = delete;
  // False when the count is known and further bytes would not change it.
  bool Feed(std::string_view bytes);
  TMolSurvey Finish();

 private:
  std::unique_ptr<TSurveyMachine> machine_;
};

// Surveys record `index` (from 0) from bytes fed in pieces of any size, cut anywhere.
class TRecordSurveyor {
 public:
  TRecordSurveyor(TMolFormat format, int64_t index, size_t maxLineBytes = kSurveyMaxLineBytes);
  ~TRecordSurveyor();
  TRecordSurveyor(const TRecordSurveyor&) = delete;
  TRecordSurveyor& operator=(const TRecordSurveyor&) = delete;
  // False once the answer is known: the rest of the file need not be read.
  bool Feed(std::string_view bytes);
  // nullopt when the bytes hold no record of that index.
  std::optional<TRecordSurvey> Finish();

 private:
  std::unique_ptr<TSurveyMachine> machine_;
};

// The same over a whole text in memory.
TMolSurvey SurveyRecords(std::string_view text, TMolFormat format);
std::optional<TRecordSurvey> SurveyRecord(std::string_view text, TMolFormat format, int64_t index);

// The same over a file, read in pieces (kReadChunkSize) only as far as the answer needs. The format
// comes from the extension unless given. nullopt when the format is unknown, the file cannot
// be read, `stop` (looked at between pieces) ended the read, or (for one record) the file has no
// record of that index.
[[nodiscard]] std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName);
[[nodiscard]] std::optional<TMolSurvey> SurveyFileRecords(const std::string& fileName, TMolFormat format);
[[nodiscard]] std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, int64_t index);
[[nodiscard]] std::optional<TRecordSurvey> SurveyFileRecord(const std::string& fileName, TMolFormat format,
                                                            int64_t index, const TStopToken& stop = {});

}  // namespace pelorin
