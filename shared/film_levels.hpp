// The film's brightness levels, as the mean of a turned scan's column means
// (0 to 255) shows them, and the threshold each kind is binarized at, as a
// fraction of full scale. Frame-pitch calibration tells only dark from
// other film; window location also tells bright film from the middle kind.
#pragma once

namespace shared {

constexpr float kDarkFilmLevel = 32.0f;    // below it the film is dark
constexpr float kBrightFilmLevel = 100.0f; // from it on (100 included) the film is bright
constexpr float kDarkFilmThreshold = 0.015f;
constexpr float kMiddleFilmThreshold = 0.2f;  // also calibration's threshold for all film not dark
constexpr float kBrightFilmThreshold = 0.25f;

}  // namespace shared
