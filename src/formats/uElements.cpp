// Van der Waals radius and display colour of each chemical element, looked up by symbol.
//
// Radii (Angstrom): A. Bondi, "van der Waals Volumes and Radii", J. Phys. Chem. 68 (1964) 441,
// except hydrogen, 1.10 from R. S. Rowland and R. Taylor, J. Phys. Chem. 100 (1996) 7384.
// Elements Bondi does not list take S. Alvarez, "A cartography of the van der Waals
// territories", Dalton Trans. 42 (2013) 8617; those neither lists (Pm, Po to Ra, Fm to Lr)
// take kUnknownElementRadius.
// Colours: the CPK colour scheme as Jmol defines it (jmol.sourceforge.net/jscolors).
#include "formats/uElements.h"

#include <array>
#include <cstdint>

namespace pelorin {
namespace {

struct TElementEntry {
  const char* Symbol;
  float Radius;
  uint32_t Rgb;  // 0xRRGGBB
};

constexpr float kNone = kUnknownElementRadius;  // neither source gives a radius

// Indexed by atomic number; entry 0 is the unknown element.
constexpr TElementEntry kElements[kLastElementNumber + 1] = {
    {"", kNone, 0xFF1493},
    // 1-18
    {"H", 1.10f, 0xFFFFFF},
    {"He", 1.40f, 0xD9FFFF},
    {"Li", 1.82f, 0xCC80FF},
    {"Be", 1.98f, 0xC2FF00},  // Alvarez
    {"B", 1.91f, 0xFFB5B5},   // Alvarez
    {"C", 1.70f, 0x909090},
    {"N", 1.55f, 0x3050F8},
    {"O", 1.52f, 0xFF0D0D},
    {"F", 1.47f, 0x90E050},
    {"Ne", 1.54f, 0xB3E3F5},
    {"Na", 2.27f, 0xAB5CF2},
    {"Mg", 1.73f, 0x8AFF00},
    {"Al", 2.25f, 0xBFA6A6},  // Alvarez
    {"Si", 2.10f, 0xF0C8A0},
    {"P", 1.80f, 0xFF8000},
    {"S", 1.80f, 0xFFFF30},
    {"Cl", 1.75f, 0x1FF01F},
    {"Ar", 1.88f, 0x80D1E3},
    // 19-36; Ca to Co and Ge from Alvarez
    {"K", 2.75f, 0x8F40D4},
    {"Ca", 2.62f, 0x3DFF00},
    {"Sc", 2.58f, 0xE6E6E6},
    {"Ti", 2.46f, 0xBFC2C7},
    {"V", 2.42f, 0xA6A6AB},
    {"Cr", 2.45f, 0x8A99C7},
    {"Mn", 2.45f, 0x9C7AC7},
    {"Fe", 2.44f, 0xE06633},
    {"Co", 2.40f, 0xF090A0},
    {"Ni", 1.63f, 0x50D050},
    {"Cu", 1.40f, 0xC88033},
    {"Zn", 1.39f, 0x7D80B0},
    {"Ga", 1.87f, 0xC28F8F},
    {"Ge", 2.29f, 0x668F8F},
    {"As", 1.85f, 0xBD80E3},
    {"Se", 1.90f, 0xFFA100},
    {"Br", 1.85f, 0xA62929},
    {"Kr", 2.02f, 0x5CB8D1},
    // 37-54; Rb to Rh and Sb from Alvarez
    {"Rb", 3.21f, 0x702EB0},
    {"Sr", 2.84f, 0x00FF00},
    {"Y", 2.75f, 0x94FFFF},
    {"Zr", 2.52f, 0x94E0E0},
    {"Nb", 2.56f, 0x73C2C9},
    {"Mo", 2.45f, 0x54B5B5},
    {"Tc", 2.44f, 0x3B9E9E},
    {"Ru", 2.46f, 0x248F8F},
    {"Rh", 2.44f, 0x0A7D8C},
    {"Pd", 1.63f, 0x006985},
    {"Ag", 1.72f, 0xC0C0C0},
    {"Cd", 1.58f, 0xFFD98F},
    {"In", 1.93f, 0xA67573},
    {"Sn", 2.17f, 0x668080},
    {"Sb", 2.47f, 0x9E63B5},
    {"Te", 2.06f, 0xD47A00},
    {"I", 1.98f, 0x940094},
    {"Xe", 2.16f, 0x429EB0},
    // 55-86; Cs to Ir and Bi from Alvarez
    {"Cs", 3.48f, 0x57178F},
    {"Ba", 3.03f, 0x00C900},
    {"La", 2.98f, 0x70D4FF},
    {"Ce", 2.88f, 0xFFFFC7},
    {"Pr", 2.92f, 0xD9FFC7},
    {"Nd", 2.95f, 0xC7FFC7},
    {"Pm", kNone, 0xA3FFC7},
    {"Sm", 2.90f, 0x8FFFC7},
    {"Eu", 2.87f, 0x61FFC7},
    {"Gd", 2.83f, 0x45FFC7},
    {"Tb", 2.79f, 0x30FFC7},
    {"Dy", 2.87f, 0x1FFFC7},
    {"Ho", 2.81f, 0x00FF9C},
    {"Er", 2.83f, 0x00E675},
    {"Tm", 2.79f, 0x00D452},
    {"Yb", 2.80f, 0x00BF38},
    {"Lu", 2.74f, 0x00AB24},
    {"Hf", 2.63f, 0x4DC2FF},
    {"Ta", 2.53f, 0x4DA6FF},
    {"W", 2.57f, 0x2194D6},
    {"Re", 2.49f, 0x267DAB},
    {"Os", 2.48f, 0x266696},
    {"Ir", 2.41f, 0x175487},
    {"Pt", 1.72f, 0xD0D0E0},
    {"Au", 1.66f, 0xFFD123},
    {"Hg", 1.55f, 0xB8B8D0},
    {"Tl", 1.96f, 0xA6544D},
    {"Pb", 2.02f, 0x575961},
    {"Bi", 2.54f, 0x9E4FB5},
    {"Po", kNone, 0xAB5C00},
    {"At", kNone, 0x754F45},
    {"Rn", kNone, 0x428296},
    // 87-103; all but U from Alvarez
    {"Fr", kNone, 0x420066},
    {"Ra", kNone, 0x007D00},
    {"Ac", 2.80f, 0x70ABFA},
    {"Th", 2.93f, 0x00BAFF},
    {"Pa", 2.88f, 0x00A1FF},
    {"U", 1.86f, 0x008FFF},
    {"Np", 2.82f, 0x0080FF},
    {"Pu", 2.81f, 0x006BFF},
    {"Am", 2.83f, 0x545CF2},
    {"Cm", 3.05f, 0x785CE3},
    {"Bk", 3.40f, 0x8A4FE3},
    {"Cf", 3.05f, 0xA136D4},
    {"Es", 2.70f, 0xB31FD4},
    {"Fm", kNone, 0xB31FBA},
    {"Md", kNone, 0xB30DA6},
    {"No", kNone, 0xBD0D87},
    {"Lr", kNone, 0xC70066},
};

int LetterIndex(char c) {  // 0..25 for a letter of either case, -1 otherwise
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  return -1;
}

// Every symbol has one or two letters: a table over (first letter, second letter or none)
// answers each look-up without comparing strings, which matters for models of many atoms.
constexpr int kSecondLetterSlots = 27;
using TSymbolTable = std::array<uint8_t, size_t{26} * kSecondLetterSlots>;

int SymbolSlot(int first, int second) {
  return first * kSecondLetterSlots + second + 1;  // second -1: a one-letter symbol
}

TSymbolTable BuildSymbolTable() {
  TSymbolTable table{};
  for (int number = 1; number <= kLastElementNumber; ++number) {
    const char* s = kElements[number].Symbol;
    int second = s[1] ? LetterIndex(s[1]) : -1;
    table[SymbolSlot(LetterIndex(s[0]), second)] = static_cast<uint8_t>(number);
  }
  return table;
}

TMeshColor ColorOf(uint32_t rgb) {
  return {((rgb >> 16) & 0xff) / 255.0f, ((rgb >> 8) & 0xff) / 255.0f, (rgb & 0xff) / 255.0f};
}

}  // namespace

int ElementNumber(std::string_view symbol) {
  static const TSymbolTable table = BuildSymbolTable();
  if (symbol.empty() || symbol.size() > 2) return 0;
  int first = LetterIndex(symbol[0]);
  int second = symbol.size() == 2 ? LetterIndex(symbol[1]) : -1;
  if (first < 0 || (symbol.size() == 2 && second < 0)) return 0;
  return table[SymbolSlot(first, second)];
}

std::string_view ElementSymbol(int number) {
  return number >= 1 && number <= kLastElementNumber ? kElements[number].Symbol : "";
}

TElementStyle ElementStyle(int number) {
  if (number < 1 || number > kLastElementNumber) return {};
  return {kElements[number].Radius, ColorOf(kElements[number].Rgb)};
}

TElementStyle ElementStyle(std::string_view symbol) {
  return ElementStyle(ElementNumber(symbol));
}

}  // namespace pelorin
