// Tests of the CML module: each top-level <molecule> element is a record (a file without one is
// one record), and the survey of its atoms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/uCMLFormat.h"
#include "record_test_util.h"

namespace pelorin {
namespace {

using namespace record_test;

TEST(CMLFormat, TopLevelMoleculesAreRecords) {
  ExpectRecordCases({
      {"CML: each top-level molecule from its tag; nested, commented and empty ones",
       TRecordRule::kCML,
       "<?xml version='1.0'?>\n<cml><!-- <molecule> -->\n <molecule id='a'><molecule/>\n</molecule><c:molecule "
       "id='b'/> <molecule><atom/>",
       {"<molecule id='a'><molecule/>\r\n</molecule>\r\n", "<c:molecule id='b'/>\r\n", "<molecule><atom/>\r\n"}},
      {"CML without a molecule is one record",
       TRecordRule::kCML,
       "<atomArray><atom/></atomArray>\n",
       {"<atomArray><atom/></atomArray>\r\n"}},
      {"CML of blanks", TRecordRule::kCML, " \n\t", {}},
  });
  ExpectCounts({
      {"CML, nested and commented molecules", TMolFormat::Cml,
       "<cml><!-- <molecule> --><molecule><molecule/></molecule><![CDATA[<molecule>]]><cml:molecule id='b'/></cml>", 2,
       true},
      {"CML without molecule elements", TMolFormat::Cml, "<atomArray><atom/></atomArray>", 1, true},
  });
}

TEST(CMLFormat, RecordSurveys) {
  ExpectSurveys({
      {"CML array form", TMolFormat::Cml,
       "<molecule><atomArray atomID=\" a1 a2\ta3 \" elementType=\"O H H\" x3=\"0 1 2\"/></molecule>", 0,
       Atoms(3, true, true)},
      {"CML second molecule, 2D, namespace prefixes", TMolFormat::Cml,
       "<?xml version='1.0'?><c:cml><c:molecule><c:atom x3='1'/></c:molecule>\n<c:molecule id='m>2'>"
       "<c:atomArray><c:atom x2=\"1\" y2=\"2\"/><c:atom/></c:atomArray></c:molecule></c:cml>",
       1, Atoms(2, true, false)},
      {"CML cut inside a molecule", TMolFormat::Cml, "<molecule><atom z3='0'/><atom id='a", 0, Atoms(1, false, true)},
  });
}

}  // namespace
}  // namespace pelorin
