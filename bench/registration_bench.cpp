// registerFrames on film-true scans at 900 and 2400 dpi: a one-frame 35 mm
// scan (gray and colour) and four-frame 16 mm and Super 8 scans. Run:
//   build/release/bin/registration_bench

#include "film.h"
#include "registration/registration.hpp"

#include <benchmark/benchmark.h>

namespace {

void RegisterFrames(benchmark::State& state) {
  scangen::FilmRequest r;
  r.gauge = static_cast<scangen::Gauge>(state.range(0));
  r.frames = static_cast<int>(state.range(1));
  r.dpi = static_cast<double>(state.range(2));
  r.channels = static_cast<int>(state.range(3));
  r.tiltDegrees = 0.4;
  r.seed = 11;
  const cv::Mat scan = scangen::makeFilmScan(r).image;
  for (auto _ : state) benchmark::DoNotOptimize(registration::registerFrames(scan));
  state.SetLabel(std::to_string(scan.cols) + " x " + std::to_string(scan.rows));
}

constexpr int k35 = static_cast<int>(scangen::Gauge::Film35), k16 = static_cast<int>(scangen::Gauge::Film16),
              kS8 = static_cast<int>(scangen::Gauge::Super8);

}  // namespace

// gauge, frames, dpi, channels
BENCHMARK(RegisterFrames)
    ->ArgNames({"gauge", "frames", "dpi", "channels"})
    ->Args({k35, 1, 900, 1})
    ->Args({k35, 1, 900, 3})
    ->Args({k16, 4, 900, 1})
    ->Args({kS8, 4, 900, 3})
    ->Args({k35, 1, 2400, 1})
    ->Args({k35, 1, 2400, 3})
    ->Args({k16, 4, 2400, 1})
    ->Args({kS8, 4, 2400, 3})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
