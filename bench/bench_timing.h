// Plain helpers every benchmark program can use, native or Windows: medians, timing a call,
// and large input files made by repeating a block of records.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelorin_bench {

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename TFn>
double MillisecondsOf(TFn fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Writes `records` over and over (in blocks of about 8 MB) until the file holds at least `size`
// bytes; false when there is nothing to repeat or the file cannot be written.
inline bool WriteRepeated(const std::filesystem::path& path, const std::string& records, uint64_t size) {
  if (records.empty()) return false;
  std::string block;
  while (block.size() < (8u << 20)) block += records;
  std::ofstream out(path, std::ios::binary);
  for (uint64_t written = 0; written < size; written += block.size()) out.write(block.data(), block.size());
  return static_cast<bool>(out);
}

}  // namespace pelorin_bench
