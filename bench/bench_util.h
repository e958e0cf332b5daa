// Helpers for the benchmark programs: collect per-iteration times, print figure lines.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace pelorin_bench {

// Console reporter that also remembers each run's real time per iteration (seconds)
// and its counters, so the program can compute ratios after the runs.
class TCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations <= 0) continue;
      std::string name = run.benchmark_name();
      seconds_[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
      for (const auto& [key, counter] : run.counters) counters_[name][key] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Seconds per iteration of the run called `name` (as Google Benchmark names it), 0 if absent.
  double Seconds(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0.0 : it->second;
  }
  double Counter(const std::string& name, const std::string& key) const {
    auto it = counters_.find(name);
    if (it == counters_.end()) return 0.0;
    auto c = it->second.find(key);
    return c == it->second.end() ? 0.0 : c->second;
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, std::map<std::string, double>> counters_;
};

// One closing figure line; scripts/bench.sh prints these again at the end of its run.
inline void PrintFigure(const std::string& name, double value, const std::string& unit, double ratio) {
  std::printf("FIGURE %s: %.3g %s (%.2f x baseline)\n", name.c_str(), value, unit.c_str(), ratio);
  std::fflush(stdout);
}

}  // namespace pelorin_bench
