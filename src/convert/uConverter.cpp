// Converter command lines: quoting, output substitution, token removal.
#include "uConverter.h"

#include <cstdio>

#include "support/uText.h"

namespace pelorin {
namespace {

// One left-to-right pass replacing each "  " by " " (three blanks become two).
std::string CollapseDoubleBlanks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') ++i;
  }
  return out;
}

}  // namespace

std::string QuoteIfBlank(const std::string& text) {
  return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

std::string SubstituteOutput(const std::string& arguments, const std::string& outputPath) {
  size_t at = arguments.find("-O ");
  if (at == std::string::npos) return Trim(arguments) + " -O " + QuoteIfBlank(outputPath);
  size_t nameStart = at + 3;
  size_t nameEnd = arguments.find(' ', nameStart);
  if (nameEnd == std::string::npos) nameEnd = arguments.size();
  return arguments.substr(0, nameStart) + QuoteIfBlank(outputPath) + arguments.substr(nameEnd);
}

std::string RemoveToken(const std::string& arguments, const std::string& word) {
  std::string result = Trim(arguments);
  if (word.empty()) return result;
  const std::string needle = " " + LowerAscii(word) + " ";
  for (;;) {
    size_t at = (" " + LowerAscii(result) + " ").find(needle);
    if (at == std::string::npos) return result;
    // `at` indexes the padded text, whose blank before the word stands where the
    // word starts in `result`.
    result.erase(at, word.size());
    result = Trim(CollapseDoubleBlanks(result));
  }
}

std::string BuildCommandLine(const TPelorinConfig& config, const std::string& inputPath,
                             const std::string& modeArguments, const std::string& outputPath) {
  std::string command = QuoteIfBlank(config.OBabelPath) + " " + QuoteIfBlank(inputPath) + " " +
                        Trim(SubstituteOutput(modeArguments, outputPath));
  std::string options = Trim(config.OBabelOpts);
  if (!options.empty()) command += " " + options;
  return command;
}

std::string ThreeDArguments(const std::string& cmdLine3D, bool hasOwn3D) {
  return hasOwn3D ? RemoveToken(cmdLine3D, "--gen3d") : cmdLine3D;
}

std::string AtomListArguments(const std::string& cmdLine3D, bool hasOwn3D, bool pdbInput) {
  std::string arguments = ThreeDArguments(cmdLine3D, hasOwn3D);
  return pdbInput ? Trim(arguments) + " -ab" : arguments;
}

std::string TimeoutMessage(uint32_t timeoutMs, const std::string& inputPath) {
  char seconds[32];
  if (timeoutMs % 1000 == 0)
    std::snprintf(seconds, sizeof seconds, "%u s", timeoutMs / 1000);
  else
    std::snprintf(seconds, sizeof seconds, "%.1f s", timeoutMs / 1000.0);
  size_t slash = inputPath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? inputPath : inputPath.substr(slash + 1);
  return std::string("Open Babel did not finish within ") + seconds + ": " + name;
}

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    out.append(text.data() + start, end - start);
    out += "\r\n";
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return out;
}

TConversionLimits HostThreadLimits(const TPelorinConfig& config) {
  TConversionLimits limits;
  limits.TimeoutMs = config.ThumbnailTimeoutMs;
  limits.Attempts = 1;
  limits.Deadline = TDeadline::In(config.ThumbnailTimeoutMs);
  return limits;
}

}  // namespace pelorin
