// Tests of the MOL2 module: each @<TRIPOS>MOLECULE section is a record, and the survey of its atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/uMOL2Format.h"
#include "record_test_util.h"

namespace pelorin {
namespace {

using namespace record_test;

TEST(MOL2Format, MoleculeSectionsAreRecords) {
  ExpectRecordCases({
      {"MOL2: from each MOLECULE section to the next; what stands before the first is its own",
       TRecordRule::kMOL2,
       "# made by hand\n@<TRIPOS>MOLECULE\na\n1\n@<TRIPOS>ATOM\n 1 C 0 0 0 C\n  @<TRIPOS>MOLECULE \r\nb\r\n1",
       {"# made by hand\r\n@<TRIPOS>MOLECULE\r\na\r\n1\r\n@<TRIPOS>ATOM\r\n 1 C 0 0 0 C\r\n",
        "  @<TRIPOS>MOLECULE \r\nb\r\n1\r\n"}},
      {"MOL2 without a MOLECULE section", TRecordRule::kMOL2, "@<TRIPOS>ATOM\n1 C 0 0 0\n", {}},
  });
  ExpectCounts({
      {"MOL2", TMolFormat::Mol2, "@<TRIPOS>MOLECULE\na\n1\n@<TRIPOS>ATOM\n  @<TRIPOS>MOLECULE\nb\n", 2, true},
  });
}

TEST(MOL2Format, RecordSurveys) {
  ExpectSurveys({
      {"MOL2 claims 99 atoms, holds 2 flat ones", TMolFormat::Mol2,
       "@<TRIPOS>MOLECULE\nm\n 99 0\n@<TRIPOS>ATOM\n 1 C 1.0 2.0 0.0 C.3\n# note\n 2 C 1.0 2.0 -0.000 C.3\n"
       "@<TRIPOS>BOND\n 1 1 2 1\n",
       0, Atoms(2, false, false)},
      {"MOL2 second molecule", TMolFormat::Mol2,
       "@<TRIPOS>MOLECULE\na\n1\n@<TRIPOS>ATOM\n1 C 0 0 1 C\n@<TRIPOS>MOLECULE\nb\n1 0\n@<TRIPOS>ATOM\n1 C 0 0 1 C\n",
       1, Atoms(1, true, true)},
  });
}

}  // namespace
}  // namespace pelorin
