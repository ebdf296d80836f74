// The gauges' published sizes, in millimetres, and their names.
//
// 35 mm has a row on each edge, but one torn or taped along the scan still
// leaves a strip the other row, the pitch and the width identify.
//
// These are priors to check measurements against and to search around, not
// constants a scan must match: prints shrink by a percent or so, scanners
// stretch, and apertures differ between cameras (a 35 mm picture runs from
// the Academy 22 x 16 mm up to the full 24.9 x 18.7 mm). Where the picture
// sits across is known least well, so its search windows are wide.

#include "stages.hpp"

namespace registration {

const std::vector<Priors>& allPriors() {
  // gauge, width, pitch, perforations a frame, hole across x along, hole centre from its edge,
  // rows, picture across (typical, min, max), picture along (min, max), picture centre from the perforated edge,
  // the picture's aspect (across / along), and on 35 mm the full aperture's, told by its length
  static const std::vector<Priors> priors = {
      {Gauge::Film35, 35.0, 4.75, 4, 2.794, 1.981, 3.41, 1, 2, 22.0, 20.3, 25.6, 14.8, 18.9, 17.5, 1.369, 17.3, 1.333},
      {Gauge::Film16, 16.0, 7.62, 1, 1.829, 1.27, 1.75, 1, 2, 10.26, 9.4, 10.7, 7.0, 7.6, 8.0, 1.370, 99, 1.370},
      {Gauge::Super8, 7.976, 4.234, 1, 0.914, 1.143, 0.967, 1, 1, 5.69, 5.2, 6.0, 3.8, 4.25, 4.35, 1.444, 99, 1.444},
      {Gauge::Regular8, 8.0, 3.81, 1, 1.829, 1.27, 1.75, 1, 1, 4.88, 4.3, 5.1, 3.4, 3.75, 5.2, 1.326, 99, 1.326},
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
