// calibrateGeometry: the strip geometry of a run, from the scan resolution
// and the fixed physical sizes of the film (no image is looked at). Across
// the strip the x resolution gives the sound-track band and the frame width;
// along it the y resolution gives the frame length.

#include "stages.hpp"

#include "shared/rounding.hpp"

namespace single {
namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr double kSoundTrackCm = 0.2;
constexpr double kFrameWidthCm = 2.1;
constexpr double kFrameLengthCm = 1.52;

int pixelsFor(int dotsPerInch, double centimetres) {
  return shared::roundNearest(dotsPerInch * centimetres / kCentimetresPerInch);
}

}  // namespace

void calibrateGeometry(const shared::ScanResolution& resolution, shared::StripGeometry& geometry) {
  geometry.sound_width = pixelsFor(resolution.x, kSoundTrackCm);
  geometry.image_width = pixelsFor(resolution.x, kFrameWidthCm);
  geometry.image_length = pixelsFor(resolution.y, kFrameLengthCm);
}

}  // namespace single
