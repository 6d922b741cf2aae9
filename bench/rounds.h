// Timing for the native benchmark programs: every case of a comparison runs once per round, in an
// order rotated round by round, and each figure is printed as one `@bench` JSON line (per-round
// values, and its ratio to a comparator taken round by round) for the suite's table (bench/run.js).
#pragma once
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {
using Clock = std::chrono::steady_clock;

// Nanoseconds per round of each case, in the order given.
inline std::vector<std::vector<double>> timeRounds(int rounds, const std::vector<std::function<void()>>& cases) {
  std::vector<std::vector<double>> times(cases.size());
  for (const auto& c : cases) c();  // warm-up
  for (int r = 0; r < rounds; ++r) {
    for (size_t k = 0; k < cases.size(); ++k) {
      const size_t i = (r + k) % cases.size();
      const auto t0 = Clock::now();
      cases[i]();
      times[i].push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count());
    }
  }
  return times;
}

// One figure: `values` scaled by `scale`; with a comparator, the ratio comparator / figure per round
// (above 1: the figure is that many times cheaper) or figure / comparator with `costRatio`.
inline void emit(const std::string& name, const std::vector<double>& values, double scale, const char* unit,
                 const std::vector<double>* comparator = nullptr, const std::string& against = "",
                 bool costRatio = false) {
  std::string line = "@bench {\"name\":\"" + name + "\",\"unit\":\"" + unit + "\",\"values\":[";
  for (size_t i = 0; i < values.size(); ++i) line += (i ? "," : "") + std::to_string(values[i] * scale);
  line += "]";
  if (comparator) {
    line += ",\"ratio\":[";
    for (size_t i = 0; i < values.size(); ++i) {
      const double r = costRatio ? values[i] / (*comparator)[i] : (*comparator)[i] / values[i];
      line += (i ? "," : "") + std::to_string(r);
    }
    line += "],\"against\":\"" + against + "\"";
  }
  line += "}";
  std::puts(line.c_str());
  std::fflush(stdout);
}
}  // namespace bench
