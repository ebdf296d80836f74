#include "single/stages.hpp"

#include <gtest/gtest.h>

namespace {

std::vector<int> calibrated(shared::ScanResolution resolution) {
  shared::StripGeometry g;
  single::calibrateGeometry(resolution, g);
  return {g.sound_width, g.image_length, g.image_width};
}

}  // namespace

TEST(CalibrateGeometry, ConvertsTheFilmSizes) { EXPECT_EQ(calibrated({900, 900}), (std::vector<int>{71, 539, 744})); }

TEST(CalibrateGeometry, AcrossUsesXAndAlongUsesY) {
  EXPECT_EQ(calibrated({900, 450}), (std::vector<int>{71, 269, 744}));
  EXPECT_EQ(calibrated({0, 0}), (std::vector<int>{0, 0, 0}));
}
