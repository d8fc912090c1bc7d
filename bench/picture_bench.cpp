// How close LoadPicture comes to a plain read: a 64 MiB 32-bit picture is
// written once, then loaded with LoadPicture and read with one fread into a
// buffer allocated beforehand (and into a block allocated afresh). The ratios
// raw time / load time are printed at the end; the reader is meant to stay at
// 0.9 or above.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "picture/picture_file.h"

namespace {

constexpr int32_t kWidth = 4096;
constexpr int32_t kHeight = 4096;  // 4096 x 4096 x 4 bytes = 64 MiB of rows
constexpr size_t kPixelBytes = size_t{kWidth} * kHeight * 4;
constexpr size_t kFileBytes = 54 + kPixelBytes;

std::string gPath;

void Add(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

bool WritePicture(const std::string& path) {
  std::string header;
  Add(&header, 0x4D42, 2);
  Add(&header, kFileBytes, 4);
  Add(&header, 0, 4);
  Add(&header, 54, 4);
  Add(&header, 40, 4);
  Add(&header, kWidth, 4);
  Add(&header, kHeight, 4);
  Add(&header, 1, 2);
  Add(&header, 32, 2);
  for (int i = 0; i < 6; ++i) Add(&header, 0, 4);
  std::vector<char> rows(kPixelBytes);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<char>(i * 13);
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(header.data(), 1, header.size(), file) == header.size() &&
                       fwrite(rows.data(), 1, rows.size(), file) == rows.size();
  return fclose(file) == 0 && written;
}

void LoadPictureFile(benchmark::State& state) {
  for (auto _ : state) {
    PictureRecord record = {};
    if (LoadPicture(gPath.c_str(), &record) == nullptr) {
      state.SkipWithError("LoadPicture made no block");
      break;
    }
    benchmark::DoNotOptimize(record.pixels);
    // Releasing the block is its owner's work, not the reader's.
    state.PauseTiming();
    free(record.pixels);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void RawRead(benchmark::State& state) {
  std::vector<char> buffer(kFileBytes);
  for (auto _ : state) {
    FILE* file = fopen(gPath.c_str(), "rb");
    if (file == nullptr || fread(buffer.data(), 1, buffer.size(), file) != buffer.size()) {
      state.SkipWithError("raw read failed");
      if (file != nullptr) fclose(file);
      break;
    }
    fclose(file);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

// The same read into a block allocated afresh each time, as LoadPicture's is:
// what is left between this and RawRead is the cost of new memory.
void RawReadIntoNewBlock(benchmark::State& state) {
  for (auto _ : state) {
    FILE* file = fopen(gPath.c_str(), "rb");
    void* block = calloc(kFileBytes, 1);
    const bool read = file != nullptr && block != nullptr &&
                      fread(block, 1, kFileBytes, file) == kFileBytes;
    if (file != nullptr) fclose(file);
    benchmark::DoNotOptimize(block);
    state.PauseTiming();
    free(block);
    state.ResumeTiming();
    if (!read) {
      state.SkipWithError("raw read failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

BENCHMARK(RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawReadIntoNewBlock)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadPictureFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, plus each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration) {
        times[name].push_back(run.GetAdjustedRealTime());
      } else if (run.aggregate_name == "median") {
        medians[name] = run.GetAdjustedRealTime();
      }
    }
  }

  // The median over the repetitions (also when only aggregates are reported),
  // or 0 when the benchmark did not run.
  double Median(const std::string& name) {
    if (medians.count(name) != 0) return medians[name];
    std::vector<double>& values = times[name];
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> times;
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const char* tmp = getenv("TMPDIR");
  gPath = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/picture_bench_" +
          std::to_string(getpid()) + ".bmp";
  if (!WritePicture(gPath)) {
    fprintf(stderr, "cannot write %s\n", gPath.c_str());
    return 1;
  }

  RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  remove(gPath.c_str());

  const double load = reporter.Median("LoadPictureFile");
  for (const char* baseline : {"RawRead", "RawReadIntoNewBlock"}) {
    const double raw = reporter.Median(baseline);
    if (raw > 0 && load > 0) {
      printf("LoadPicture speed / %s speed: %.3f (%.2f ms / %.2f ms)\n", baseline, raw / load,
             raw, load);
    }
  }
  return 0;
}
