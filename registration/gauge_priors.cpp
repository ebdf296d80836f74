// The gauges' published geometry, in millimetres, and their names.
//
// Registration in the camera's sense: the camera's pin fixes where the
// picture lies against the perforations, so once the holes are found each
// picture's place follows from these numbers scaled by the pixels a
// millimetre measured on the scan (along from the hole pitch, across from
// the strip's width or the rows' spacing). The frame lines and the
// picture's edges measured on the scan then refine that place.
//
// Where the numbers come from:
//   perforations, pitch and width: SMPTE's film-dimension standards
//     (35 mm: ST 93 and ST 139, 2.794 x 1.981 mm holes, 4.75 mm pitch, hole
//     2.01 mm in from the edge; 16 mm: ST 109, 1.829 x 1.27 mm at 7.62 mm,
//     0.91 mm in; Super 8: ST 149, 0.914 x 1.143 mm at 4.234 mm, 0.51 mm
//     in, 7.976 mm wide; regular 8 mm is 16 mm double-8 stock slit in two,
//     so 16 mm's holes and edge at half its pitch).
//   camera apertures: 35 mm full (silent) aperture 0.980 x 0.735 in
//     (24.89 x 18.67 mm) centred on the film, and the Academy aperture
//     0.864 x 0.630 in (21.95 x 16.0 mm) whose middle lies 0.738 in
//     (18.75 mm) from the reference edge, the sound track's side; 16 mm
//     0.404 x 0.295 in (10.26 x 7.49 mm) centred; Super 8 0.228 x 0.158 in
//     (5.79 x 4.01 mm), its middle 4.5 mm from the perforated edge;
//     regular 8 mm 0.192 x 0.145 in (4.88 x 3.68 mm), its middle 5.34 mm
//     from the perforated edge.
//   the frame line against the holes: on 16 mm and regular 8 mm a hole sits
//     on every frame line; on Super 8 the hole lies beside the picture's
//     middle, so the line falls half a pitch from it; on 35 mm the line
//     falls between two holes, at any of the four gaps of a frame.
//
// Real film strays from these: prints shrink by a percent or so, scanners
// stretch one axis, cameras' apertures and gates differ a little. The
// tolerances below say how far, and the finder searches only that far
// around the published place.

#include "stages.hpp"

namespace registration {

const std::vector<Priors>& allPriors() {
  // gauge, width, pitch, holes a frame, hole along x across, hole's outer side from the edge, rows (least, most),
  // the frame line's middle from a hole's centre (pitches), apertures {name, along, across, middle from the
  // reference edge}
  static const std::vector<Priors> priors = {
      {Gauge::Film35, 35.0, 4.75, 4, 1.981, 2.794, 2.01, 1, 2, 0.5,
       {{"Academy", 16.0, 21.95, 18.75}, {"full", 18.67, 24.89, 17.5}}},
      {Gauge::Film16, 16.0, 7.62, 1, 1.27, 1.829, 0.91, 1, 2, 0.0, {{"16 mm", 7.49, 10.26, 8.0}}},
      {Gauge::Super8, 7.976, 4.234, 1, 1.143, 0.914, 0.51, 1, 1, 0.5, {{"Super 8", 4.01, 5.79, 4.5}}},
      {Gauge::Regular8, 7.976, 3.81, 1, 1.27, 1.829, 0.91, 1, 1, 0.0, {{"8 mm", 3.68, 4.88, 5.34}}},
  };
  return priors;
}

const Priors* priorsOf(Gauge gauge) {
  for (const Priors& p : allPriors())
    if (p.gauge == gauge) return &p;
  return nullptr;
}

const char* gaugeName(Gauge gauge) {
  switch (gauge) {
    case Gauge::Film35: return "35 mm";
    case Gauge::Film16: return "16 mm";
    case Gauge::Super8: return "Super 8";
    case Gauge::Regular8: return "8 mm";
    default: return "unknown";
  }
}

}  // namespace registration
