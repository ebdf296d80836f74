// Each primitive on a 1400 x 620 image, gray and colour. Run:
//   build/release/bin/primitives_bench

#include "imaging/profile.hpp"
#include "imaging/raster.hpp"

#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

namespace {

cv::Mat scan(int channels) {
  cv::Mat img(620, 1400, CV_8UC(channels));
  cv::RNG(1).fill(img, cv::RNG::UNIFORM, 0, 256);
  return img;
}

void setBytes(benchmark::State& state, const cv::Mat& img) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * img.total() * img.elemSize());
}

void ColumnMeans(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::columnMeans(img, img.cols, 1, img.rows));
  setBytes(state, img);
}

void ProfileSearches(benchmark::State& state) {
  const cv::Mat img = scan(1);
  const imaging::Profile p = imaging::columnMeans(img, img.cols, 1, img.rows);
  for (auto _ : state) {
    benchmark::DoNotOptimize(imaging::profileMean(p, static_cast<int>(p.size())));
    const imaging::Profile d = imaging::firstDifference(p, static_cast<int>(p.size()));
    benchmark::DoNotOptimize(imaging::peakMaximum(d, 1, static_cast<int>(d.size())));
    benchmark::DoNotOptimize(imaging::valleyMinimum(d, 1, static_cast<int>(d.size())));
  }
}

void RotateQuarter(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  const int sense = static_cast<int>(state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::rotateQuarter(img, sense));
  setBytes(state, img);
}

void FlipRows(benchmark::State& state) {
  cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::flipRows(img).data);
  setBytes(state, img);
}

void Binarize(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::binarize(img, 0.2f));
  setBytes(state, img);
}

void ToGray(benchmark::State& state) {
  const cv::Mat img = scan(3);
  for (auto _ : state) benchmark::DoNotOptimize(imaging::toGray(img));
  setBytes(state, img);
}

}  // namespace

BENCHMARK(ColumnMeans)->Arg(1)->Arg(3);
BENCHMARK(ProfileSearches);
BENCHMARK(RotateQuarter)->Args({1, 1})->Args({1, 3})->Args({3, 1})->Args({3, 3});
BENCHMARK(FlipRows)->Arg(1)->Arg(3);
BENCHMARK(Binarize)->Arg(1)->Arg(3);
BENCHMARK(ToGray);

BENCHMARK_MAIN();
