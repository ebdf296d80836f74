// The perforation finder on painted strips.

#include "registration/registration.hpp"
#include "strip_painter.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

using registration::Gauge;

namespace {

struct Tally {
  int windows = 0, right = 0, scans = 0, gauges = 0;
};

// Windows right for the expected pictures: the whole one nearest the middle,
// or every whole one of a four-frame scan.
void check(const strip::Scan& scan, const registration::Registration& reg, Gauge gauge, int frames, Tally& t) {
  ++t.scans;
  t.gauges += reg.gauge == gauge;
  std::vector<const strip::Picture*> expected;
  const double middle = scan.image.cols / 2.0;
  for (const auto& p : scan.pictures)
    if (p.whole) expected.push_back(&p);
  if (frames == 1 && !expected.empty()) {
    auto centreX = [](const strip::Picture* p) { return (p->corners[0].x + p->corners[2].x) / 2; };
    const strip::Picture* best = expected.front();
    for (auto* p : expected)
      if (std::abs(centreX(p) - middle) < std::abs(centreX(best) - middle)) best = p;
    expected = {best};
  }
  for (const strip::Picture* p : expected) {
    ++t.windows;
    for (const auto& f : reg.frames)
      if (strip::windowIsRight(registration::cornersOf(f), *p)) {
        ++t.right;
        break;
      }
  }
}

}  // namespace

TEST(RegisterFrames, PaintedStrips) {
  std::map<std::pair<int, int>, Tally> table;
  const Gauge gauges[] = {Gauge::Film35, Gauge::Film16, Gauge::Super8, Gauge::Regular8};
  uint64_t seed = 1;
  for (Gauge g : gauges)
    for (double dpi : {600.0, 900.0, 1200.0, 2400.0})
      for (double tilt : {0.0, 0.5, -0.5, 1.0, -1.0})
        for (int frames : {1, 4}) {
          strip::Request r;
          r.gauge = g, r.dpi = dpi, r.tiltDegrees = tilt, r.frames = frames, r.seed = ++seed;
          r.stock = static_cast<strip::Stock>(seed % 3);
          r.channels = seed % 2 ? 3 : 1;
          r.lid = (seed / 3) % 2;
          r.soundTrack = (seed / 2) % 2;
          if (g == Gauge::Film35 && dpi > 1200 && frames == 4) continue;
          const strip::Scan scan = strip::paint(r);
          const auto reg = registration::registerFrames(scan.image);
          Tally& t = table[{static_cast<int>(g), static_cast<int>(dpi)}];
          const int before = t.right, windowsBefore = t.windows;
          check(scan, reg, g, frames, t);
          if (t.right - before != t.windows - windowsBefore || reg.gauge != g)
            std::printf("miss: gauge %s dpi %.0f tilt %.1f frames %d seed %llu stock %d ch %d lid %d sound %d -> %s %s pitch %.1f/%.1f lines %zu\n",
                        registration::gaugeName(g), dpi, tilt, frames, (unsigned long long)seed, (int)r.stock, r.channels, r.lid,
                        r.soundTrack, registration::gaugeName(reg.gauge), reg.missing.c_str(), reg.perforationPitch,
                        scan.perforationPitch, reg.frameLines.size());
        }
  int windows = 0, right = 0;
  for (const auto& [key, t] : table) {
    std::printf("%-8s %5d dpi: %3d/%3d windows right, gauge %d/%d\n", registration::gaugeName(static_cast<Gauge>(key.first)),
                key.second, t.right, t.windows, t.gauges, t.scans);
    windows += t.windows, right += t.right;
  }
  EXPECT_GE(right, 0.99 * windows);
}
