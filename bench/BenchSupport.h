// What the benchmarks share: the drawing benchmark's page (60 text lines,
// 10 lines and 10 frames) through the exports, the process's peak memory,
// file sizes, and a console reporter that prints peer / ours ratios after
// the runs.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "noxtrel.h"

namespace nxbench {

// The 60 text lines of the drawing benchmark's page.
inline std::vector<std::string> Lines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 60; ++i)
    lines.push_back("Line " + std::to_string(i) + ": 4 x Widget type B at 12.50 each, order 2026-" +
                    std::to_string(1000 + i));
  return lines;
}

// The page in millimetres (the session's default unit, x 10000): text lines
// from (20, 20) every 4.5 mm, rules at 15 + 27 i mm from 20 to 190 mm, frames
// from (150, 20 + 27 i) to (190, 40 + 27 i).
constexpr double kTextX = 20, kTextY = 20, kTextStep = 4.5;
constexpr double kRuleX0 = 20, kRuleX1 = 190, kRuleY = 15, kRuleStep = 27;
constexpr double kFrameX0 = 150, kFrameX1 = 190, kFrameY0 = 20, kFrameY1 = 40;

inline void DrawPage(const std::vector<std::string> &lines) {
  for (int i = 0; i < 60; ++i) NxTextOut(200000, 200000 + i * 45000, lines[static_cast<size_t>(i)].c_str());
  for (int i = 0; i < 10; ++i) {
    NxLine(200000, 150000 + i * 270000, 1900000, 150000 + i * 270000);
    NxFrame(1500000, 200000 + i * 270000, 1900000, 400000 + i * 270000, 0);
  }
}

// The process's peak resident memory so far.
inline long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

inline double FileBytes(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0.0;
}

// A private folder for the files a benchmark writes, made on first use
// (/tmp/nxbench-<tag>-XXXXXX; /tmp itself when it cannot be made).
inline std::string MakeBenchFolder(const char *tag) {
  std::string name = std::string("/tmp/nxbench-") + tag + "-XXXXXX";
  return mkdtemp(name.data()) ? name : std::string("/tmp");
}

inline benchmark::Counter PerSecond(double n) { return benchmark::Counter(n, benchmark::Counter::kIsRate); }

// Keeps each run's CPU time per iteration and prints peer / ours after the
// runs (above 1: we are faster).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Ratio {
    std::string what, peer, ours;
  };
  explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nRatios of CPU time, peer / ours (higher is better for us):\n");
    for (const Ratio &r : ratios_) {
      auto p = Find(r.peer), o = Find(r.ours);
      if (p > 0 && o > 0) std::printf("  %-66s %.2f\n", r.what.c_str(), p / o);
    }
  }

 private:
  // The run of that name, also when its name carries "/iterations:3" and
  // the like.
  double Find(const std::string &name) const {
    for (const auto &[n, t] : times_)
      if (n == name || n.rfind(name + "/", 0) == 0) return t;
    return 0;
  }
  std::vector<Ratio> ratios_;
  std::map<std::string, double> times_;
};

// BENCHMARK_MAIN with the ratio reporter.
inline int RunWithRatios(int argc, char **argv, std::vector<RatioReporter::Ratio> ratios) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(std::move(ratios));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

}  // namespace nxbench
