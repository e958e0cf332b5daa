// Atom lists (element and position per atom) read from XYZ text and from PDB atom records.
#include "formats/uXYZReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>

#include "formats/uElements.h"
#include "formats/uMolFormat.h"
#include "formats/uSTLParser.h"
#include "support/uFileIO.h"
#include "support/uText.h"

namespace pelorin {
namespace {

// "C 0 0 0" and a line break: no atom line is shorter, so the bytes left bound the atoms left.
constexpr size_t kShortestAtomLine = 8;
constexpr size_t kQuotedLength = 40;  // of a line quoted in an error text

// Walks the lines of a text; a line ends at LF, CR LF or a lone CR.
class TTextLines {
 public:
  explicit TTextLines(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool Next(std::string_view& line) {
    if (p_ >= end_) return false;
    const char* start = p_;
    while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
    line = std::string_view(start, static_cast<size_t>(p_ - start));
    if (p_ < end_) p_ += (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n') ? 2 : 1;
    ++number_;
    return true;
  }
  // Number of the line last returned, counted from 1.
  int Number() const { return number_; }
  size_t RemainingBytes() const { return static_cast<size_t>(end_ - p_); }

 private:
  const char* p_;
  const char* end_;
  int number_ = 0;
};

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The next blank-separated word of `rest`, which moves past it; empty when none is left.
std::string_view NextWord(std::string_view& rest) {
  size_t start = 0;
  while (start < rest.size() && IsBlankChar(rest[start])) ++start;
  size_t end = start;
  while (end < rest.size() && !IsBlankChar(rest[end])) ++end;
  std::string_view word = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return word;
}

std::string Quoted(std::string_view line) {
  bool cut = line.size() > kQuotedLength;
  return "\"" + std::string(line.substr(0, kQuotedLength)) + (cut ? "...\"" : "\"");
}

std::string RecordName(int index) {
  return "record " + std::to_string(int64_t(index) + 1);
}

// ---- XYZ ----

// A count line holds the count as its first word; further words are ignored.
bool ParseCount(std::string_view line, uint64_t& count) {
  std::string_view word = NextWord(line);
  const char* end = word.data() + word.size();
  auto [stop, error] = std::from_chars(word.data(), end, count);
  return !word.empty() && error == std::errc() && stop == end;
}

bool ParseAtomLine(std::string_view line, TAtom& atom) {
  std::string_view words[4];
  for (std::string_view& word : words) {
    word = NextWord(line);
    if (word.empty()) return false;
  }
  StoreElementSymbol(words[0], atom.Element);
  atom.X = ParseSTLFloat(words[1]);
  atom.Y = ParseSTLFloat(words[2]);
  atom.Z = ParseSTLFloat(words[3]);
  return true;
}

// Moves to the next count line, past blank lines; false at the end of the text.
bool NextCountLine(TTextLines& lines, std::string_view& line) {
  while (lines.Next(line))
    if (!TrimView(line).empty()) return true;
  return false;
}

bool SkipLines(TTextLines& lines, uint64_t count) {
  std::string_view line;
  for (uint64_t i = 0; i < count; ++i)
    if (!lines.Next(line)) return false;
  return true;
}

// Reads the atom lines of the requested record, whose comment line has just been read.
bool ReadAtomLines(TTextLines& lines, uint64_t count, const std::string& record, TAtomArray& atoms,
                   std::string& error) {
  atoms.reserve(static_cast<size_t>(std::min<uint64_t>(count, lines.RemainingBytes() / kShortestAtomLine + 1)));
  std::string_view line;
  for (uint64_t i = 0; i < count; ++i) {
    TAtom atom;
    if (!lines.Next(line)) {
      error = record + " ends after " + std::to_string(i) + " of " + std::to_string(count) + " atoms";
      return false;
    }
    if (!ParseAtomLine(line, atom)) {
      error = record + ": line " + std::to_string(lines.Number()) + " is not an atom (element x y z) but " +
              Quoted(line) + ", after " + std::to_string(i) + " of " + std::to_string(count) + " atoms";
      return false;
    }
    atoms.push_back(atom);
  }
  return true;
}

bool ReadRecord(std::string_view text, int recordIndex, TAtomArray& atoms, std::string& error, std::string* title) {
  const std::string wanted = RecordName(recordIndex);
  TTextLines lines(text);
  std::string_view line;
  for (int record = 0;; ++record) {
    if (!NextCountLine(lines, line)) {
      error = wanted + " not found: the text holds " + std::to_string(record) + (record == 1 ? " record" : " records");
      return false;
    }
    uint64_t count = 0;
    if (!ParseCount(line, count)) {
      error = RecordName(record) + ": line " + std::to_string(lines.Number()) + " should hold the atom count but is " +
              Quoted(line);
      return false;
    }
    std::string_view comment;
    bool hasComment = lines.Next(comment);
    if (record < recordIndex) {
      if (!hasComment || !SkipLines(lines, count)) {
        error = wanted + " not found: " + RecordName(record) + " ends before its " + std::to_string(count) + " atoms";
        return false;
      }
      continue;
    }
    if (title && hasComment) *title = std::string(TrimView(comment));
    if (count == 0) {
      error = wanted + " has no atoms";
      return false;
    }
    if (!hasComment) {
      error = wanted + " ends after 0 of " + std::to_string(count) + " atoms";
      return false;
    }
    return ReadAtomLines(lines, count, wanted, atoms, error);
  }
}

// ---- PDB ----

// Columns first..last (counted from 1, as the format describes them) of a line, clipped to it.
std::string_view Columns(std::string_view line, size_t first, size_t last) {
  if (line.size() < first) return {};
  return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

std::string_view RecordType(std::string_view line) {
  return TrimView(Columns(line, 1, 6));
}

// The element that an atom name (columns 13-16) stands for. The format right-aligns the
// element symbol in columns 13-14: a one-letter element starts in column 14, so a letter in
// column 13 means a two-letter element, except in four-letter hydrogen names ("HD21"), which
// also start in column 13; standard residues (ATOM records) hold no two-letter elements.
void ElementFromAtomName(std::string_view name, bool hetatm, char (&out)[4]) {
  char n[4] = {' ', ' ', ' ', ' '};
  std::copy_n(name.data(), std::min<size_t>(name.size(), 4), n);
  if (!IsLetter(n[0])) {
    const char* letter = std::find_if(n, n + 4, IsLetter);
    StoreElementSymbol(letter == n + 4 ? std::string_view() : std::string_view(letter, 1), out);
    return;
  }
  bool oneLetter = !IsLetter(n[1]) || !hetatm || ((n[0] == 'H' || n[0] == 'h') && n[2] != ' ') ||
                   ElementNumber(std::string_view(n, 2)) == 0;
  StoreElementSymbol(std::string_view(n, oneLetter ? 1 : 2), out);
}

bool ReadPDBAtomRecord(std::string_view line, bool hetatm, TAtom& atom) {
  constexpr size_t kCoordinatesEnd = 54;
  if (line.size() < kCoordinatesEnd) return false;
  std::string_view element = TrimView(Columns(line, 77, 78));
  if (!element.empty() && IsLetter(element[0])) {
    StoreElementSymbol(element, atom.Element);
  } else {
    ElementFromAtomName(Columns(line, 13, 16), hetatm, atom.Element);
  }
  atom.X = ParseSTLFloat(Columns(line, 31, 38));
  atom.Y = ParseSTLFloat(Columns(line, 39, 46));
  atom.Z = ParseSTLFloat(Columns(line, 47, 54));
  return true;
}

void ReadPDBRecords(std::string_view text, TAtomArray& atoms) {
  TTextLines lines(text);
  std::string_view line;
  bool modelSeen = false;
  char keptLocation = 0;  // the first alternate location met
  while (lines.Next(line)) {
    std::string_view type = RecordType(line);
    if (type == "ENDMDL" || type == "END" || (type == "MODEL" && modelSeen)) break;
    modelSeen |= type == "MODEL";
    bool hetatm = type == "HETATM";
    if (type != "ATOM" && !hetatm) continue;
    char location = line.size() > 16 ? line[16] : ' ';
    if (location != ' ') {
      if (!keptLocation) keptLocation = location;
      if (location != keptLocation) continue;
    }
    TAtom atom;
    if (ReadPDBAtomRecord(line, hetatm, atom)) atoms.push_back(atom);
  }
}

// ---- Files ----

// Reads the file from its start in pieces that double in size until `enough` finds what the
// reader needs among the complete lines read so far, or the file ends: a trajectory or an
// ensemble of thousands of frames is not read whole for one of them. Doubling keeps the
// rescans of `enough` within twice the bytes read.
template <typename TEnough>
bool ReadTextFileUntil(const std::string& fileName, std::string& text, std::string& error, TEnough enough) {
  errno = 0;
  TFile f = OpenReadDenyWrite(fileName);
  if (!f) {
    error = "Cannot open file [" + fileName + "]: " + (errno != 0 ? std::strerror(errno) : "unknown error");
    return false;
  }
  for (size_t piece = size_t{64} << 10;; piece *= 2) {
    const size_t before = text.size();
    text.resize(before + piece);
    const size_t got = std::fread(&text[before], 1, piece, f.get());
    text.resize(before + got);
    if (got < piece) break;  // the end of the file, or an error
    const size_t lastBreak = text.find_last_of("\r\n");
    if (lastBreak != std::string::npos && enough(std::string_view(text).substr(0, lastBreak + 1))) return true;
  }
  if (std::ferror(f.get())) {
    error = "Cannot read file [" + fileName + "]";
    return false;
  }
  return true;
}

// True when `text` holds every line the reader looks at for record `recordIndex`, or the line
// where it gives up.
bool XYZRecordIsIn(std::string_view text, int recordIndex) {
  TTextLines lines(text);
  std::string_view line;
  for (int record = 0;; ++record) {
    uint64_t count = 0;
    if (!NextCountLine(lines, line)) return false;
    if (!ParseCount(line, count)) return true;
    if (!lines.Next(line) || !SkipLines(lines, count)) return false;
    if (record >= recordIndex) return true;
  }
}

// True once the first model has ended, where ReadPDBRecords stops.
bool PDBFirstModelIsIn(std::string_view text) {
  TTextLines lines(text);
  std::string_view line;
  bool modelSeen = false;
  while (lines.Next(line)) {
    std::string_view type = RecordType(line);
    if (type == "ENDMDL" || type == "END" || (type == "MODEL" && modelSeen)) return true;
    modelSeen |= type == "MODEL";
  }
  return false;
}

}  // namespace

void StoreElementSymbol(std::string_view word, char (&out)[4]) {
  std::memset(out, 0, sizeof out);
  if (!word.empty() && word.size() <= 3 && std::all_of(word.begin(), word.end(), IsDigit)) {
    int number = 0;
    std::from_chars(word.data(), word.data() + word.size(), number);
    word = ElementSymbol(number);
  }
  size_t letters = 0;
  while (letters < 3 && letters < word.size() && IsLetter(word[letters])) ++letters;
  if (letters == 0) {
    std::memcpy(out, "Xx", 2);
    return;
  }
  out[0] = static_cast<char>(word[0] & ~0x20);  // ASCII letters: bit 5 is the case
  for (size_t i = 1; i < letters; ++i) out[i] = static_cast<char>(word[i] | 0x20);
}

bool IsAtomTableFile(const std::string& fileName) {
  const TMolFormat format = MolFormatFromFileName(fileName);
  return format == TMolFormat::Pdb || format == TMolFormat::Xyz;
}

bool ReadAtomTableFile(const std::string& fileName, TAtomArray& atoms, std::string& error) {
  switch (MolFormatFromFileName(fileName)) {
    case TMolFormat::Pdb:
      return ReadPDBFile(fileName, atoms, error);
    case TMolFormat::Xyz:
      return ReadXYZFile(fileName, 0, atoms, error);
    default:
      atoms.clear();
      error = "Not a PDB or XYZ file: " + fileName;
      return false;
  }
}

bool ReadXYZBlock(std::string_view text, int recordIndex, TAtomArray& atoms, std::string& error, std::string* title) {
  atoms.clear();
  error.clear();
  if (title) title->clear();
  if (recordIndex < 0) {
    error = RecordName(recordIndex) + " does not exist";
    return false;
  }
  try {
    return ReadRecord(text, recordIndex, atoms, error, title);
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory for the atoms of " + RecordName(recordIndex);
    return false;
  }
}

bool ReadXYZFile(const std::string& fileName, int recordIndex, TAtomArray& atoms, std::string& error,
                 std::string* title) {
  atoms.clear();
  if (title) title->clear();
  std::string text;
  try {
    auto recordIsIn = [recordIndex](std::string_view part) { return XYZRecordIsIn(part, recordIndex); };
    if (!ReadTextFileUntil(fileName, text, error, recordIsIn)) return false;
  } catch (const std::bad_alloc&) {
    error = "Not enough memory to read file [" + fileName + "]";
    return false;
  }
  return ReadXYZBlock(text, recordIndex, atoms, error, title);
}

bool ReadPDBAtoms(std::string_view text, TAtomArray& atoms, std::string& error) {
  atoms.clear();
  error.clear();
  try {
    ReadPDBRecords(text, atoms);
  } catch (const std::bad_alloc&) {
    TAtomArray().swap(atoms);
    error = "Not enough memory for the atoms";
    return false;
  }
  if (atoms.empty()) error = "No ATOM or HETATM records";
  return !atoms.empty();
}

bool ReadPDBFile(const std::string& fileName, TAtomArray& atoms, std::string& error) {
  atoms.clear();
  std::string text;
  try {
    if (!ReadTextFileUntil(fileName, text, error, PDBFirstModelIsIn)) return false;
  } catch (const std::bad_alloc&) {
    error = "Not enough memory to read file [" + fileName + "]";
    return false;
  }
  return ReadPDBAtoms(text, atoms, error);
}

}  // namespace pelorin
