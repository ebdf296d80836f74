#include "chains.hpp"

#include "quad/stages.hpp"
#include "shared/conversion.hpp"
#include "single/stages.hpp"

namespace stress {
namespace {

std::vector<Cut> cutsOf(shared::ScanConverter convert, const cv::Mat& scan, shared::RunState& run) {
  std::vector<Cut> cuts;
  shared::ScanRecord record;
  convert(scan, run, [&cuts](const cv::Mat& window, int copies) { cuts.push_back({window, copies}); }, record);
  return cuts;
}

}  // namespace

std::vector<Cut> singleChain(const cv::Mat& scan, shared::RunState& run) {
  return cutsOf(single::convertScan, scan, run);
}

std::vector<Cut> quadChain(const cv::Mat& scan, shared::RunState& run) {
  return cutsOf(quad::convertScan, scan, run);
}

std::vector<Cut> registeredSingleChain(const cv::Mat& scan, shared::RunState& run) {
  return cutsOf(single::registerScan, scan, run);
}

std::vector<Cut> registeredQuadChain(const cv::Mat& scan, shared::RunState& run) {
  return cutsOf(quad::registerScan, scan, run);
}

}  // namespace stress
