// Time to make one film-true scan: 35 mm single frames at the usual
// resolutions, gray and colour, and four-frame strips of the narrow gauges.
// The frame finder's accuracy test makes about a hundred of these. Run:
//   build/release/bin/film_scan_bench

#include "film.h"

#include <benchmark/benchmark.h>

namespace {

void FilmScan(benchmark::State& state, scangen::Gauge gauge, int frames)
{
    scangen::FilmRequest request;
    request.gauge = gauge;
    request.frames = frames;
    request.dpi = double(state.range(0));
    request.channels = int(state.range(1));
    request.tiltDegrees = 0.4;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scangen::makeFilmScan(request).image.data);
        ++request.seed;
    }
}

const std::vector<std::vector<int64_t>> kResolutions{{600, 900, 2400}, {1, 3}};

BENCHMARK_CAPTURE(FilmScan, single35, scangen::Gauge::Film35, 1)->ArgsProduct(kResolutions)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FilmScan, quad16, scangen::Gauge::Film16, 4)->ArgsProduct(kResolutions)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FilmScan, quadSuper8, scangen::Gauge::Super8, 4)->ArgsProduct(kResolutions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
