// Path data of the SVG reader: tokenizer, command interpreter and curve flattening.
#include <cmath>

#include "svg/uSVGDetail.h"

namespace pelorin {
namespace {

constexpr int kMaxFlattenDepth = 6;
constexpr float kFlatness = 0.5f;
constexpr size_t kInitialPathPoints = 128;
// Keeps the 32-bit point count meaningful however long a hostile path is (about 130 MB of points).
constexpr size_t kMaxPathPoints = size_t{1} << 24;

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

TPoint2D Mid(TPoint2D a, TPoint2D b) {
  return {(a.X + b.X) * 0.5f, (a.Y + b.Y) * 0.5f};
}
TPoint2D Reflect(TPoint2D control, TPoint2D about) {
  return {2 * about.X - control.X, 2 * about.Y - control.Y};
}

// Executes the tokens of one path; the state is that of a single pass over one `d` attribute.
class TPathInterpreter {
 public:
  explicit TPathInterpreter(const std::vector<TPathToken>& tokens) : tokens_(tokens) {
    points_.reserve(kInitialPathPoints);
  }

  void Run() {
    while (next_ < tokens_.size() && points_.size() < kMaxPathPoints) {
      if (tokens_[next_].Kind == kPathTokenCommand) {
        command_ = tokens_[next_++].Letter;
      } else if (!TakesNumbers(command_)) {
        // A number that no command takes (after Z, or after a letter that is not a path
        // command) is skipped: repeating the command for it would never advance.
        ++next_;
        continue;
      }
      if (!Execute()) return;
    }
  }

  TPointArray& Points() { return points_; }
  bool Closed() const { return closed_; }

 private:
  static bool TakesNumbers(char letter) {
    switch (letter) {
      case 'M':
      case 'm':
      case 'L':
      case 'l':
      case 'H':
      case 'h':
      case 'V':
      case 'v':
      case 'C':
      case 'c':
      case 'S':
      case 's':
      case 'Q':
      case 'q':
      case 'T':
      case 't':
      case 'A':
      case 'a':
        return true;
      default:
        return false;
    }
  }

  bool ReadNumbers(float* values, int n) {
    for (int k = 0; k < n; ++k) {
      if (next_ >= tokens_.size() || tokens_[next_].Kind != kPathTokenNumber) return false;
      values[k] = tokens_[next_++].Value;
    }
    return true;
  }

  TPoint2D Resolve(float x, float y, bool relative) const {
    return relative ? TPoint2D{current_.X + x, current_.Y + y} : TPoint2D{x, y};
  }

  void LineTo(TPoint2D p) {
    current_ = p;
    points_.push_back(p);
  }

  // Returns false when a needed number is missing: the parse ends with what it has.
  bool Execute() {
    const char letter = command_;
    const bool relative = letter >= 'a' && letter <= 'z';
    float n[7];
    switch (relative ? static_cast<char>(letter - 32) : letter) {
      case 'M':
        if (!ReadNumbers(n, 2)) return false;
        LineTo(Resolve(n[0], n[1], relative));
        start_ = current_;
        command_ = relative ? 'l' : 'L';
        return true;
      case 'L':
        if (!ReadNumbers(n, 2)) return false;
        LineTo(Resolve(n[0], n[1], relative));
        return true;
      case 'H':
        if (!ReadNumbers(n, 1)) return false;
        LineTo({relative ? current_.X + n[0] : n[0], current_.Y});
        return true;
      case 'V':
        if (!ReadNumbers(n, 1)) return false;
        LineTo({current_.X, relative ? current_.Y + n[0] : n[0]});
        return true;
      case 'C': {
        if (!ReadNumbers(n, 6)) return false;
        TPoint2D c1 = Resolve(n[0], n[1], relative), c2 = Resolve(n[2], n[3], relative);
        CubicTo(c1, c2, Resolve(n[4], n[5], relative));
        return true;
      }
      case 'S': {
        if (!ReadNumbers(n, 4)) return false;
        TPoint2D c1 = Reflect(cubicControl_, current_);
        CubicTo(c1, Resolve(n[0], n[1], relative), Resolve(n[2], n[3], relative));
        return true;
      }
      case 'Q':
        if (!ReadNumbers(n, 4)) return false;
        QuadraticTo(Resolve(n[0], n[1], relative), Resolve(n[2], n[3], relative));
        return true;
      case 'T':
        if (!ReadNumbers(n, 2)) return false;
        QuadraticTo(Reflect(quadControl_, current_), Resolve(n[0], n[1], relative));
        return true;
      case 'A':
        // Radii, rotation and flags are read but an arc is drawn as a straight segment.
        if (!ReadNumbers(n, 7)) return false;
        LineTo(Resolve(n[5], n[6], relative));
        return true;
      case 'Z':
        LineTo(start_);
        closed_ = true;
        return true;
      default:
        return true;
    }
  }

  void CubicTo(TPoint2D c1, TPoint2D c2, TPoint2D end) {
    cubicControl_ = c2;
    FlattenCubic(points_, current_, c1, c2, end, 0);
    current_ = end;
  }

  void QuadraticTo(TPoint2D control, TPoint2D end) {
    quadControl_ = control;
    FlattenQuadratic(points_, current_, control, end, 0);
    current_ = end;
  }

  const std::vector<TPathToken>& tokens_;
  size_t next_ = 0;
  char command_ = 'M';
  TPoint2D current_, start_, cubicControl_, quadControl_;
  bool closed_ = false;
  TPointArray points_;
};

}  // namespace

std::vector<TPathToken> TokenizePath(std::string_view text) {
  std::vector<TPathToken> tokens;
  // A pending number is always one contiguous run of the text: [numberStart, i).
  size_t numberStart = std::string_view::npos;
  auto flush = [&](size_t end) {
    if (numberStart == std::string_view::npos) return;
    tokens.push_back({kPathTokenNumber, 0, ParseNumber(text.substr(numberStart, end - numberStart), 0)});
    numberStart = std::string_view::npos;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (IsNumberChar(c)) {
      if (numberStart == std::string_view::npos) numberStart = i;
    } else if (c == '-') {
      flush(i);
      numberStart = i;
    } else {
      flush(i);
      if (IsAsciiLetter(c)) tokens.push_back({kPathTokenCommand, c, 0});
    }
  }
  flush(text.size());
  return tokens;
}

void FlattenQuadratic(TPointArray& buffer, TPoint2D p0, TPoint2D p1, TPoint2D p2, int depth) {
  if (depth > kMaxFlattenDepth) {
    buffer.push_back(p2);
    return;
  }
  float d = std::fabs(p0.X - 2 * p1.X + p2.X) + std::fabs(p0.Y - 2 * p1.Y + p2.Y);
  if (d < kFlatness) {
    buffer.push_back(p2);
    return;
  }
  TPoint2D m01 = Mid(p0, p1), m12 = Mid(p1, p2), m = Mid(m01, m12);
  FlattenQuadratic(buffer, p0, m01, m, depth + 1);
  FlattenQuadratic(buffer, m, m12, p2, depth + 1);
}

void FlattenCubic(TPointArray& buffer, TPoint2D p0, TPoint2D p1, TPoint2D p2, TPoint2D p3, int depth) {
  if (depth > kMaxFlattenDepth) {
    buffer.push_back(p3);
    return;
  }
  float d = std::fabs(p0.X - 2 * p1.X + p2.X) + std::fabs(p0.Y - 2 * p1.Y + p2.Y) + std::fabs(p1.X - 2 * p2.X + p3.X) +
            std::fabs(p1.Y - 2 * p2.Y + p3.Y);
  if (d < kFlatness) {
    buffer.push_back(p3);
    return;
  }
  TPoint2D m01 = Mid(p0, p1), m12 = Mid(p1, p2), m23 = Mid(p2, p3);
  TPoint2D m012 = Mid(m01, m12), m123 = Mid(m12, m23), m = Mid(m012, m123);
  FlattenCubic(buffer, p0, m01, m012, m, depth + 1);
  FlattenCubic(buffer, m, m123, m23, p3, depth + 1);
}

bool ParsePathData(std::string_view text, TPointArray& points, int32_t& count, bool& closed) {
  std::vector<TPathToken> tokens = TokenizePath(text);
  TPathInterpreter interpreter(tokens);
  interpreter.Run();
  TPointArray& produced = interpreter.Points();
  count = static_cast<int32_t>(produced.size());
  closed = interpreter.Closed();
  if (count > 0) points = std::move(produced);
  return true;
}

}  // namespace pelorin
