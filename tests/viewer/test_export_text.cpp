// Record titles removed from the converter's drawings, and the proposed export names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "render/uView2D.h"
#include "svg/uSVGParser.h"
#include "test_temp_dir.h"
#include "viewer/uExportText.h"

using namespace pelorin;
using pelorin_test::ReadFileBytes;
using pelorin_test::TTempDir;
using pelorin_test::WriteFileBytes;

namespace {

std::string LocalName(const pugi::xml_node& node) {
  std::string name = node.name();
  size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The top-level element names, and every text below the top level, in document order.
struct TOutline {
  std::vector<std::string> TopLevel;
  std::vector<std::string> InnerTexts;
};

void CollectInnerTexts(const pugi::xml_node& node, std::vector<std::string>& texts) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    if (LocalName(child) == "text") texts.push_back(child.child_value());
    CollectInnerTexts(child, texts);
  }
}

TOutline OutlineOf(const std::string& svg) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_buffer(svg.data(), svg.size()));
  TOutline outline;
  for (pugi::xml_node child : doc.document_element().children()) {
    if (child.type() != pugi::node_element) continue;
    std::string name = LocalName(child);
    outline.TopLevel.push_back(name == "text" ? "text:" + std::string(child.child_value()) : name);
    CollectInnerTexts(child, outline.InnerTexts);
  }
  return outline;
}

}  // namespace

#ifndef _WIN32  // runs /usr/bin/obabel
namespace {

// The converter's drawing of some SMILES lines (several lines give a grid), with CR LF
// line breaks as the converter front end hands it over.
std::string Draw(const std::string& smiles) {
  TTempDir dir;
  WriteFileBytes(dir.File("in.smi"), smiles);
  std::string command =
      "/usr/bin/obabel \"" + dir.File("in.smi") + "\" -O \"" + dir.File("out.svg") + "\" --gen2d -xC >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::string lf = ReadFileBytes(dir.File("out.svg")), crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

// The outline the converter's drawing should have without its titles.
std::vector<std::string> WithoutTitles(const std::vector<std::string>& topLevel) {
  std::vector<std::string> kept;
  bool afterGroup = false;
  for (const std::string& name : topLevel) {
    if (name.rfind("text:", 0) == 0 && afterGroup) continue;
    if (name == "g" || name == "svg") afterGroup = true;
    kept.push_back(name);
  }
  return kept;
}

}  // namespace

TEST(StripHeadings, ConverterDrawingsLoseOnlyTheirTitles) {
  struct TCase {
    const char* Smiles;
    int Molecules;
  };
  const TCase cases[] = {
      {"Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\n", 1},
      {"CCO\n", 1},  // untitled: an empty title text
      {"Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\nCC(=O)Oc1ccccc1C(=O)O aspirin\nCCO ethanol\n", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Smiles);
    std::string svg = Draw(c.Smiles);
    ASSERT_FALSE(svg.empty()) << "the converter did not run";
    EXPECT_EQ(StripHeadings(svg, true), svg);

    std::string stripped = StripHeadings(svg, false);
    TOutline before = OutlineOf(svg), after = OutlineOf(stripped);
    EXPECT_EQ(after.TopLevel, WithoutTitles(before.TopLevel));
    EXPECT_LT(after.TopLevel.size(), before.TopLevel.size());
    EXPECT_EQ(after.InnerTexts, before.InnerTexts) << "atom labels stay";
    size_t groups = 0;
    for (const std::string& name : after.TopLevel) groups += name == "g";
    EXPECT_EQ(groups, static_cast<size_t>(c.Molecules));
    // The script block of a grid survives with its content.
    if (c.Molecules > 1) {
      EXPECT_NE(stripped.find("<![CDATA["), std::string::npos);
    }
    EXPECT_NE(stripped.find("\r\n"), std::string::npos) << "line breaks are kept";

    // The reader sees the same drawing minus exactly the heading texts.
    TSVGScene full, bare;
    ASSERT_TRUE(ParseSVG(svg, full));
    ASSERT_TRUE(ParseSVG(stripped, bare));
    int headings = 0;
    for (int i = 0; i < full.Count; ++i) headings += full.Elements[i].IsHeading;
    EXPECT_EQ(bare.Count, full.Count - headings);
    for (int i = 0; i < bare.Count; ++i) EXPECT_FALSE(bare.Elements[i].IsHeading);
  }
}

// The SVG export draws a single molecule's title where the viewer does: in the band below the
// drawing, centred, cut as there; grids, untitled drawings and hidden headings as before.
TEST(ExportSVGText, ASingleTitleMovesIntoTheBandBelowTheDrawing) {
  for (const std::string& title : {std::string("caffeine"), std::string(200, 'x')}) {
    SCOPED_TRACE(title.substr(0, 10));
    const std::string svg = Draw("Cn1cnc2c1c(=O)n(C)c(=O)n2C " + title + "\n");
    ASSERT_FALSE(svg.empty()) << "the converter did not run";
    TSVGScene before, after;
    ASSERT_TRUE(ParseSVG(svg, before));
    const TCaptionLayout layout = LayOutCaption(before, TAnchorMatch::Exact);
    ASSERT_GE(layout.Index, 0);
    const std::string exported = ExportSVGText(svg, true);
    ASSERT_TRUE(ParseSVG(exported, after));
    ASSERT_EQ(after.Count, before.Count);
    const TGeoElement& moved = after.Elements[static_cast<size_t>(layout.Index)];
    EXPECT_TRUE(moved.IsHeading);
    EXPECT_EQ(moved.TextAnchor, "middle");
    EXPECT_EQ(moved.Text, layout.Element.Text);
    EXPECT_NEAR(moved.FontSize, layout.Element.FontSize, 0.01);
    ASSERT_FALSE(moved.Points.empty());
    EXPECT_NEAR(moved.Points[0].X, layout.Element.Points[0].X, 0.01);
    EXPECT_GE(moved.Points[0].Y - 0.8f * moved.FontSize, layout.Drawing.MaxY - 0.01f) << "below the drawing";
    EXPECT_LT(LayOutCaption(after, TAnchorMatch::Exact).Index, 0) << "nothing left to move";
    // The picture holds the band, the page's white rectangle with it.
    EXPECT_GE(after.ViewBoxY + after.Height, layout.Band.MaxY - 0.01f);
    EXPECT_EQ(ExportSVGText(exported, true), exported);
    EXPECT_EQ(OutlineOf(exported).InnerTexts, OutlineOf(svg).InnerTexts) << "atom labels stay";
    if (title.size() > 100) {
      EXPECT_NE(exported.find("\xE2\x80\xA6</text>"), std::string::npos);
    }
    EXPECT_EQ(ExportSVGText(svg, false), StripHeadings(svg, false));
  }
  for (const char* same : {"CCO\n", "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine\nCCO ethanol\n"}) {
    const std::string svg = Draw(same);
    EXPECT_EQ(ExportSVGText(svg, true), svg) << same;
  }
  EXPECT_EQ(ExportSVGText("not svg", true), "not svg");
}

#endif

TEST(StripHeadings, OnlyTopLevelTextsAfterTheFirstGroupGo) {
  struct TCase {
    const char* Name;
    std::string Input;
    std::vector<std::string> Expected;  // top-level outline afterwards
  };
  const TCase cases[] = {
      {"text before any group stays",
       "<svg xmlns='http://www.w3.org/2000/svg'><text>a</text><g><text>in</text></g><text>b</text></svg>",
       {"text:a", "g"}},
      {"nested svg counts as a group",
       "<svg xmlns='http://www.w3.org/2000/svg'><svg/><text>b</text><rect/><text>c</text></svg>",
       {"svg", "rect"}},
      {"prefixed elements by their local name",
       "<s:svg xmlns:s='http://www.w3.org/2000/svg'><s:g/><s:text>t</s:text><s:title>x</s:title></s:svg>",
       {"g", "title"}},
      {"consecutive titles are all removed", "<svg><g/><text>1</text><text>2</text><text>3</text></svg>", {"g"}},
      {"no group, nothing removed", "<svg><text>1</text><rect/></svg>", {"text:1", "rect"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string stripped = StripHeadings(c.Input, false);
    EXPECT_EQ(OutlineOf(stripped).TopLevel, c.Expected);
    EXPECT_EQ(OutlineOf(stripped).InnerTexts, OutlineOf(c.Input).InnerTexts);
  }
}

TEST(StripHeadings, TextThatIsNotADocumentIsReturnedUnchanged) {
  const char kWithNul[] = "<svg><g/><text>a\0b</text></svg>";
  const std::string inputs[] = {
      "",
      "<svg><g/><text>unclosed</svg>",
      "<!-- only a comment -->",
      "plain text",
      std::string(kWithNul, sizeof kWithNul - 1),
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input);
    EXPECT_EQ(StripHeadings(input, false), input);
  }
}

TEST(DefaultExportName, NameRecordNumberAndFallBack) {
  struct TCase {
    const char* FileName;
    size_t Records;
    int ShownRecord;
    const char* Expected;
  };
  const TCase cases[] = {
      {"C:\\molecules\\caffeine.mol", 0, 0, "caffeine"},
      {"C:\\molecules\\lib.sdf", 10, 2, "lib_3"},
      {"C:\\molecules\\lib.sdf", 1, 0, "lib"},  // one record: no number
      {"", 0, 0, "pelorin_export"},
      {" \t ", 0, 0, "pelorin_export"},
      {"  D:\\a.b\\x.y.mol  ", 0, 0, "x.y"},  // blanks around, dots in folder and name
      {"C:\\dir.v2\\noext", 0, 0, "noext"},   // a dot in the folder is no extension
      {"/home/user/ethanol.pdb", 0, 0, "ethanol"},
      {"C:paracetamol 3d.sdf", 3, 0, "paracetamol 3d_1"},
      {"C:\\x\\.mol", 0, 0, "pelorin_export"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(DefaultExportNameFor(c.FileName, c.Records, c.ShownRecord), c.Expected) << "[" << c.FileName << "]";
  }
}
