// The fused passes and the library turns they are weighed against, on a
// large colour scan's size (2400 x 2800) and a gray one. Run:
//   build/release/bin/fused_bench

#include "imaging/fused.hpp"
#include "imaging/turned_view.hpp"
#include "imaging/profile.hpp"
#include "imaging/raster.hpp"

#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

namespace {

cv::Mat scan(int channels) {
  cv::Mat img(2800, 2400, CV_8UC(channels));
  cv::RNG(1).fill(img, cv::RNG::UNIFORM, 0, 256);
  return img;
}

void setBytes(benchmark::State& state, const cv::Mat& img) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * img.total() * img.elemSize());
}

void ThresholdMeans(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::thresholdMeans(img, 0.25f, 480, imaging::Shares::RowsAndColumns));
  setBytes(state, img);
}

void ColumnMeans(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::columnMeans(img, img.cols, 1, img.rows));
  setBytes(state, img);
}

void BandColumnMeans(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::bandColumnMeans(img, img.cols, 1, img.rows));
  setBytes(state, img);
}

void TransposeCopy(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::transposeCopy(img));
  setBytes(state, img);
}

void RotateQuarter(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(imaging::rotateQuarter(img, static_cast<int>(state.range(1))));
  setBytes(state, img);
}

void LibraryRotate(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  const int code = state.range(1) == 1 ? cv::ROTATE_90_COUNTERCLOCKWISE : cv::ROTATE_90_CLOCKWISE;
  for (auto _ : state) {
    cv::Mat out;
    cv::rotate(img, out, code);
    benchmark::DoNotOptimize(out.data);
  }
  setBytes(state, img);
}

// The level and the shares read through a turn, with no turned copy.
void TurnedColumnMeans(benchmark::State& state) {
  const imaging::TurnedView view{scan(static_cast<int>(state.range(0))), static_cast<imaging::Turn>(state.range(1))};
  for (auto _ : state) benchmark::DoNotOptimize(imaging::turnedColumnMeans(view));
  setBytes(state, view.source);
}

void TurnedThresholdMeans(benchmark::State& state) {
  const imaging::TurnedView view{scan(static_cast<int>(state.range(0))), static_cast<imaging::Turn>(state.range(1))};
  for (auto _ : state)
    benchmark::DoNotOptimize(imaging::thresholdMeans(view, 0.25f, view.cols() / 5, imaging::Shares::RowsAndColumns));
  setBytes(state, view.source);
}

// The floor for any turn into a new image: allocating it and copying the bytes.
void Clone(benchmark::State& state) {
  const cv::Mat img = scan(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(img.clone());
  setBytes(state, img);
}

}  // namespace

BENCHMARK(ThresholdMeans)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(ColumnMeans)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BandColumnMeans)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(TransposeCopy)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(RotateQuarter)->Args({1, 1})->Args({1, 3})->Args({3, 1})->Args({3, 3})->Unit(benchmark::kMillisecond);
BENCHMARK(LibraryRotate)->Args({1, 1})->Args({1, 3})->Args({3, 1})->Args({3, 3})->Unit(benchmark::kMillisecond);
// Turns: 1 transpose, 2 clockwise, 3 counter-clockwise.
BENCHMARK(TurnedColumnMeans)->ArgsProduct({{1, 3}, {1, 2, 3}})->Unit(benchmark::kMillisecond);
BENCHMARK(TurnedThresholdMeans)->ArgsProduct({{1, 3}, {1, 2, 3}})->Unit(benchmark::kMillisecond);
BENCHMARK(Clone)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
