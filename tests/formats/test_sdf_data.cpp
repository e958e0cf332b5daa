// The title and data items of SDF records: the header forms, values, and records that break
// the rules (no blank line, no value, a value of 1 MB, CR LF and CR, no "M  END").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/uSDFData.h"

namespace pelorin {
namespace {

using TItems = std::vector<std::pair<std::string, std::string>>;

// A molfile of one atom under `title`, then `data` (its lines end in "\n").
std::string Record(const std::string& title, const std::string& data, bool withEnd = true) {
  return title +
         "\n  -OEChem-\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
         "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n" +
         (withEnd ? "M  END\n" : "") + data + "$$$$\n";
}

void ExpectData(const std::string& record, const std::string& title, const TItems& items) {
  const TSDFRecordData data = ReadSDFRecordData(record);
  EXPECT_EQ(data.Title, title);
  TItems got;
  for (const TDataItem& item : data.Items) got.emplace_back(item.Name, item.Value);
  EXPECT_EQ(got, items);
}

std::string WithBreaks(std::string text, const std::string& eol) {
  std::string out;
  for (char c : text) out += c == '\n' ? eol : std::string(1, c);
  return out;
}

TEST(SDFData, HeaderFormsNamesAndValues) {
  const std::string data =
      "> <ID>\nPEL-0001\n\n"
      ">  <SUPPLIER>  (MFCD00012345)\nAcme\n\n"
      "> 25  <MELTING.POINT>\n179.5\n\n"
      "> DT12\nno name in brackets\n\n"
      "> 25 DT13 (MFCD1) <NOTE>\nfirst line\n  second line  \n\n"
      "> <EMPTY>\n\n"
      "> <IC50>\n>100\n\n";
  const TItems expected = {{"ID", "PEL-0001"},
                           {"SUPPLIER", "Acme"},
                           {"MELTING.POINT", "179.5"},
                           {"DT12", "no name in brackets"},
                           {"NOTE", "first line\n  second line  "},
                           {"EMPTY", ""},
                           {"IC50", ">100"}};
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    ExpectData(WithBreaks(Record("caffeine  ", data), eol), "caffeine", expected);
  }
  // The pieces the search walks: title, then each name and value line, in text order.
  const std::string record = Record("t", "> <A>\nx\ny\n\n> <B>\n\n");
  TSDFPieces pieces(record);
  TSDFPiece piece;
  std::vector<std::string> seen;
  while (pieces.Next(piece))
    seen.push_back(std::to_string(static_cast<int>(piece.Part)) + ":" + std::to_string(piece.Item) + ":" +
                   std::to_string(piece.Line) + ":" + std::string(piece.Text));
  EXPECT_EQ(seen, (std::vector<std::string>{"0:0:0:t", "1:0:0:A", "2:0:0:x", "2:0:1:y", "1:1:0:B"}));
  EXPECT_FALSE(pieces.Next(piece)) << "the end stays the end";
}

TEST(SDFData, RecordsThatBreakTheRules) {
  const std::string megabyte(1 << 20, 'v');
  const struct {
    const char* name;
    std::string record;
    std::string title;
    TItems items;
  } cases[] = {
      {"no blank line between items", Record("t", "> <A>\n1\n> <B>\n2\n"), "t", {{"A", "1"}, {"B", "2"}}},
      {"a header without value before another", Record("t", "> <A>\n> <B>\n2\n\n"), "t", {{"A", ""}, {"B", "2"}}},
      {"a header without value at the end mark", Record("t", "> <A>\n"), "t", {{"A", ""}}},
      {"a header without value at the text's end", "t\n\n\n  0  0\nM  END\n> <A>", "t", {{"A", ""}}},
      {"a last value without a line break", "t\n\n\n  0  0\nM  END\n> <A>\nlast", "t", {{"A", "last"}}},
      {"a name that no '>' closes", Record("t", "> <OPEN NAME  \nv\n\n"), "t", {{"OPEN NAME", "v"}}},
      {"a value of 1 MB", Record("big", "> <BLOB>\n" + megabyte + "\n\n"), "big", {{"BLOB", megabyte}}},
      {"lines between items are skipped",
       Record("t", "> <A>\n1\n\njunk\n\n> <B>\n2\n\n"),
       "t",
       {{"A", "1"}, {"B", "2"}}},
      {"no M  END: items from the first header on", Record("t", "> <A>\n1\n\n", false), "t", {{"A", "1"}}},
      {"header and comment lines are free text",
       ">  <not an item>\n> <no>\n> <nor this>\n  0  0\nM  END\n",
       ">  <not an item>",
       {}},
      {"nothing after the end mark", "t\n\n\n  0  0\nM  END\n$$$$\n> <A>\n1\n", "t", {}},
      {"a record of nothing but its end mark", "$$$$\r\n", "", {}},
      {"an empty text", "", "", {}},
      {"a blank first line is the title", "\nname\n\n  0  0\nM  END\n> <A>\n1\n", "", {{"A", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectData(c.record, c.title, c.items);
  }
}

TEST(SDFData, MemoryStaysWithinTheRecordsBytes) {
  // Many tiny items: what is kept is the names and values, never more bytes than the text has.
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "> <N" + std::to_string(i) + ">\nv\n\n";
  const std::string record = Record("t", data);
  const TSDFRecordData parsed = ReadSDFRecordData(record);
  ASSERT_EQ(parsed.Items.size(), 20000u);
  size_t kept = parsed.Title.size();
  for (const TDataItem& item : parsed.Items) kept += item.Name.size() + item.Value.size();
  EXPECT_LT(kept, record.size());
  EXPECT_EQ(parsed.Items.back().Name, "N19999");
}

}  // namespace
}  // namespace pelorin
