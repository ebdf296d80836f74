#include "single/stages.hpp"
#include "support/capture.hpp"

TEST(CalibrateGeometry, ConvertsTheFilmSizesAndPrintsThemInFieldOrder) {
  shared::StripGeometry g;
  std::string out;
  runCaptured([&] { single::calibrateGeometry({900, 900}, g); return 0; }, out);
  EXPECT_EQ(out, "sound_width = 71 image_length = 539 image_width = 744\n");
  EXPECT_EQ(g.sound_width, 71);
  EXPECT_EQ(g.image_length, 539);
  EXPECT_EQ(g.image_width, 744);
}

TEST(CalibrateGeometry, AcrossUsesXAndAlongUsesY) {
  shared::StripGeometry g;
  std::string out;
  runCaptured([&] { single::calibrateGeometry({900, 450}, g); return 0; }, out);
  EXPECT_EQ(out, "sound_width = 71 image_length = 269 image_width = 744\n");
  runCaptured([&] { single::calibrateGeometry({0, 0}, g); return 0; }, out);
  EXPECT_EQ(out, "sound_width = 0 image_length = 0 image_width = 0\n");
}
