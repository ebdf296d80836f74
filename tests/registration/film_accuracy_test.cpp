// Windows against the truth of film-true scans, over gauges, resolutions,
// tilts, stocks and channels; prints the share right per gauge and
// resolution, per tilt and per kind of scan. The expected windows: the
// whole picture nearest the middle of a one-frame scan, every whole picture
// of a four-frame scan.

#include "film.h"
#include "film_truth.h"
#include "registration/registration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

struct Tally {
  int right = 0, windows = 0, gauges = 0, scans = 0, unregistered = 0;
  void add(const Tally& t) {
    right += t.right, windows += t.windows, gauges += t.gauges, scans += t.scans, unregistered += t.unregistered;
  }
};

registration::Gauge ours(scangen::Gauge g) { return static_cast<registration::Gauge>(static_cast<int>(g) + 1); }

std::vector<const scangen::PictureTruth*> expected(const scangen::FilmScan& scan, int frames) {
  std::vector<const scangen::PictureTruth*> whole;
  for (const auto& p : scan.pictures)
    if (p.whole) whole.push_back(&p);
  auto offMiddle = [&](const scangen::PictureTruth* p) { return std::abs((p->corners[0].x + p->corners[2].x) / 2 - scan.image.cols / 2.0); };
  if (frames == 1 && !whole.empty())
    whole = {*std::min_element(whole.begin(), whole.end(), [&](auto* a, auto* b) { return offMiddle(a) < offMiddle(b); })};
  return whole;
}

Tally judge(const scangen::FilmRequest& r) {
  const scangen::FilmScan scan = scangen::makeFilmScan(r);
  const registration::Registration reg = registration::registerFrames(scan.image);
  Tally t;
  t.scans = 1, t.gauges = reg.gauge == ours(r.gauge), t.unregistered = !reg.registered;
  for (const scangen::PictureTruth* p : expected(scan, r.frames)) {
    ++t.windows;
    t.right += std::any_of(reg.frames.begin(), reg.frames.end(),
                           [&](const auto& f) { return scangen::windowIsRight(registration::cornersOf(f), *p); });
  }
  return t;
}

void print(const std::string& name, const Tally& t) {
  std::printf("%-18s %3d of %3d windows right, gauge %3d of %3d, %d unregistered\n", name.c_str(), t.right, t.windows,
              t.gauges, t.scans, t.unregistered);
}

}  // namespace

TEST(FilmScans, WindowsLieOnTheirPictures) {
  std::map<std::string, Tally> table;
  Tally all;
  int index = 0;
  for (int g = 0; g < 4; ++g)
    for (double dpi : {600.0, 900.0, 1200.0, 2400.0})
      for (double tilt : {0.0, 0.5, -0.5, 1.0, -1.0})
        for (int frames : {1, 4}) {
          scangen::FilmRequest r;
          r.gauge = static_cast<scangen::Gauge>(g), r.dpi = dpi, r.tiltDegrees = tilt, r.frames = frames;
          r.stock = static_cast<scangen::Stock>(index % 3), r.channels = index % 2 ? 3 : 1, r.soundTrack = index % 5 == 0;
          r.seed = static_cast<uint64_t>(++index);
          const Tally t = judge(r);
          char key[3][32];
          std::snprintf(key[0], sizeof key[0], "%-8s %4.0f dpi", registration::gaugeName(ours(r.gauge)), dpi);
          std::snprintf(key[1], sizeof key[1], "~tilt %+.1f", tilt);
          std::snprintf(key[2], sizeof key[2], "~%d-frame scans", frames);
          for (const char* k : key) table[k].add(t);
          all.add(t);
        }
  for (const auto& [name, t] : table) print(name[0] == '~' ? name.substr(1) : name, t);
  print("all", all);
  // Floors just under what the finder reaches (397 of 400 windows), so that
  // a change for the worse shows. The windows' floor leaves four windows of
  // room: the generator's filters run on the processor's own vector paths,
  // so another machine's scans may differ in the last bits, and a window
  // that lies on the 98 % line may fall either way.
  EXPECT_GE(all.right, 0.9825 * all.windows);
  EXPECT_GE(all.gauges, 0.98 * all.scans);
  EXPECT_LE(all.unregistered, 1);
}

// Scans the finder once got wrong, each for a reason of its own: a full
// aperture in a night scene taken for Academy (the run that stops short of
// Academy's wide line), the Academy picture put on the side away from its
// sound track, a full aperture beside a bright band, still scenes whose
// dark patches repeat at the frame pitch like the holes of Super 8 and of
// double-perforated 16 mm, and 35 mm four-frame scans whose frame lines are
// as dark as the scene beside them, with a bright band's step one or two
// perforations off (Academy and full aperture), a scratch along the base
// beyond a Super 8 picture's margin taken for the picture's edge, and a
// still 16 mm scene whose bright patches, a row of their own, paired with
// the true holes and kept them from being tried alone, a 16 mm sound
// track whose wave, a row of many more blobs than holes, fitted 35 mm, and
// two specks of grain that outnumbered a lone Super 8 hole and fitted 35 mm,
// and a 35 mm scan whose dark lines differ from the dark scene beside them
// only in lying flat across the strip, a bright band's step two perforations off,
// an Academy night scene told from the film beside it by its texture alone,
// a reversal picture's bright band, brighter than any unexposed film,
// taken for the wide Academy line, and a print's bright base beside an
// Academy picture, whose light drifts along the strip, taken for its side,
// a full-aperture four-frame scan whose thin lines no scene shows, at a
// gap that leaves one of its four pictures cut, a lone Super 8 hole that a
// scratch touches, one island with it at the lowest cut, and a full-aperture
// four-frame scan whose shot changes at a line that no scene beside it shows,
// an 8 mm night scene whose bright band ends a few pixels inside each
// picture, taken for the line's one clear end, a lone Super 8 hole inside
// a splice's band, which no usual cut parts from the band, 16 mm holes
// on a clear print that touch its bright pictures at the copy's scale, and
// an 8 mm scene whose step to the margin shows in fewer than half of its
// columns, an Academy picture put on the wrong side by a scratch along
// the strip where a sound track would run, one whose track's wave keeps
// each row at one level for most of its length, a full aperture whose
// hairline, a few levels off a flat negative scene, only the median over
// the rows shows, a one-row 16 mm strip whose lettering across from its
// holes was taken for a second row, an 8 mm still scene whose bright
// patches, one frame short of the holes, fitted 16 mm a hair better, and an
// 8 mm picture 4 % short of its aperture across, whose edges were measured
// right and then given up, a 16 mm negative whose faint gradient inside
// the picture, 3 % from where the aperture puts the edge, was taken for it,
// a lone Super 8 hole across a splice band's edge, whose fuller part at a
// higher cut took the place of the whole hole, one that ranked behind ten
// of a busy scene's specks and was never tried, and a full-aperture 35 mm
// picture a little longer than its aperture whose lines show at their gap
// but not their ends, drawn in as far as an unknown end of a small gauge's,
// an 8 mm picture nearer the holes than the search went, an Academy
// picture put over its own track, which the lines showed under half as much,
// a full-aperture scene taken for Academy that filled both its side bands,
// holes whose picture, as dark as they, comes within a pixel of the
// reduced copy (a lone Super 8 hole, a 16 mm row under a scene of bars),
// a Super 8 row under bright pictures, which taking splices away left
// half of each hole, and a lone Super 8 hole outranked by a scene's bright
// patch, twice at the frame pitch, that fitted 8 mm at the edge of what a
// gauge accepts, a four-frame negative whose still scene's dark band,
// a perforation off the lines, showed plainer than they, a 16 mm
// negative whose holes, at frame lines as clear as themselves, went with
// the lines at the usual cuts while a scene's figure fitted 8 mm loosely,
// a full-aperture print whose thin lines, blurred into pale pictures,
// lay less evenly across than a still scene's soft band a perforation off,
// an 8 mm negative whose flat scenes lie a few levels off their lines, lost
// in each row's grain, and 8 mm reversal film and a print whose dark scenes
// lie a few levels off their margin, one with a dark rim at the edge, and
// an Academy print whose flat scene hides its side, which only the cut
// picture of the next shot shows, and lone Super 8 and 8 mm holes whose
// strong contrast asked more of the strip's edges than they show, and a
// colour negative's still scene whose dark band, a perforation off lines
// as pale as the base, showed plainer than any line, and a 16 mm hole near
// the scan's end half eaten where a picture's ramp beside it was taken
// away as a splice would be, and a lone 8 mm hole whose contrast asked
// more of the strip's edges than they show, while at the least step the
// light's falloff passed for the far edge.
TEST(FilmScans, TrapsOnceFallenIntoAreMissed) {
  using scangen::Gauge, scangen::Stock;
  struct Case { Gauge gauge; double dpi, tilt; int frames; Stock stock; int channels; bool sound; uint64_t seed; };
  for (const Case& c : {Case{Gauge::Film35, 600, 0, 1, Stock::Negative, 1, false, 1001},
                        Case{Gauge::Film35, 600, -1, 1, Stock::Reversal, 1, true, 1009},
                        Case{Gauge::Film35, 1200, 1, 1, Stock::Reversal, 1, false, 1027},
                        Case{Gauge::Super8, 1200, 0, 4, Stock::Negative, 1, false, 2102},
                        Case{Gauge::Film16, 2400, -0.5, 4, Stock::Print, 1, false, 26076},
                        Case{Gauge::Film35, 1200, 1, 4, Stock::Reversal, 3, false, 9028},
                        Case{Gauge::Film35, 1200, 1, 4, Stock::Reversal, 3, false, 33028},
                        Case{Gauge::Super8, 2400, 0, 1, Stock::Print, 1, false, 9111},
                        Case{Gauge::Film16, 900, 0.5, 4, Stock::Reversal, 3, true, 5054},
                        Case{Gauge::Film16, 2400, 1, 4, Stock::Negative, 1, true, 10078},
                        Case{Gauge::Super8, 1200, -1, 1, Stock::Negative, 1, false, 2109},
                        Case{Gauge::Film35, 600, 0, 4, Stock::Reversal, 1, false, 10002},
                        Case{Gauge::Film35, 900, 0.5, 1, Stock::Negative, 1, false, 1013},
                        Case{Gauge::Film35, 900, -1, 4, Stock::Reversal, 1, false, 20020},
                        Case{Gauge::Film35, 1200, 0.5, 1, Stock::Print, 1, false, 31023},
                        Case{Gauge::Film35, 600, 1, 4, Stock::Print, 3, false, 19008},
                        Case{Gauge::Super8, 600, 0, 1, Stock::Print, 1, false, 39081},
                        Case{Gauge::Film35, 600, -1, 4, Stock::Negative, 3, false, 23010},
                        Case{Gauge::Regular8, 600, 0, 4, Stock::Reversal, 3, false, 13122},
                        Case{Gauge::Super8, 1200, 0.5, 1, Stock::Print, 1, false, 23103},
                        Case{Gauge::Film16, 1200, -1, 4, Stock::Print, 3, false, 19070},
                        Case{Gauge::Regular8, 600, 0, 4, Stock::Reversal, 3, false, 19122},
                        Case{Gauge::Film35, 900, -0.5, 1, Stock::Reversal, 1, false, 17015},
                        Case{Gauge::Film35, 900, 0, 1, Stock::Reversal, 1, true, 31011},
                        Case{Gauge::Film35, 900, 0.5, 1, Stock::Negative, 1, false, 19013},
                        Case{Gauge::Film16, 600, 0, 1, Stock::Reversal, 1, true, 13041},
                        Case{Gauge::Regular8, 2400, -1, 4, Stock::Print, 3, false, 31160},
                        Case{Gauge::Regular8, 1200, 0, 4, Stock::Print, 3, false, 23142},
                        Case{Gauge::Film16, 900, -1, 4, Stock::Negative, 3, false, 17060},
                        Case{Gauge::Super8, 2400, 0.5, 1, Stock::Negative, 1, false, 41113},
                        Case{Gauge::Super8, 1200, 1, 1, Stock::Print, 1, false, 23107},
                        Case{Gauge::Film35, 900, 0, 1, Stock::Negative, 1, false, 23011},
                        Case{Gauge::Regular8, 2400, 1, 4, Stock::Reversal, 3, false, 29158},
                        Case{Gauge::Film35, 2400, 0, 1, Stock::Print, 1, true, 29031},
                        Case{Gauge::Film35, 600, 1, 4, Stock::Negative, 3, false, 67008},
                        Case{Gauge::Super8, 2400, 1, 1, Stock::Print, 1, false, 17117},
                        Case{Gauge::Film16, 2400, 0.5, 4, Stock::Print, 3, true, 31074},
                        Case{Gauge::Super8, 600, 0, 4, Stock::Print, 3, false, 67082},
                        Case{Gauge::Super8, 600, 0, 1, Stock::Reversal, 1, true, 53401},
                        Case{Gauge::Film35, 600, 1, 4, Stock::Negative, 3, false, 37168},
                        Case{Gauge::Film16, 600, -1, 4, Stock::Negative, 3, false, 37210},
                        Case{Gauge::Film35, 900, -1, 4, Stock::Print, 3, false, 13340},
                        Case{Gauge::Regular8, 900, -0.5, 4, Stock::Negative, 3, true, 89456},
                        Case{Gauge::Regular8, 2400, -0.5, 4, Stock::Reversal, 3, true, 79476},
                        Case{Gauge::Regular8, 2400, -0.5, 4, Stock::Print, 3, true, 71316},
                        Case{Gauge::Film35, 1200, 1, 1, Stock::Print, 1, false, 53027},
                        Case{Gauge::Super8, 600, 0.5, 1, Stock::Print, 1, false, 67403},
                        Case{Gauge::Regular8, 900, -1, 1, Stock::Negative, 1, false, 89459},
                        Case{Gauge::Film35, 2400, 1, 4, Stock::Negative, 3, false, 11198},
                        Case{Gauge::Film16, 1200, -1, 1, Stock::Negative, 1, false, 53069},
                        Case{Gauge::Regular8, 1200, 1, 1, Stock::Negative, 1, false, 147}}) {
    scangen::FilmRequest r;
    r.gauge = c.gauge, r.dpi = c.dpi, r.tiltDegrees = c.tilt, r.frames = c.frames, r.stock = c.stock;
    r.channels = c.channels, r.soundTrack = c.sound, r.seed = c.seed;
    const Tally t = judge(r);
    EXPECT_EQ(t.gauges, 1) << "seed " << c.seed;
    EXPECT_EQ(t.right, t.windows) << "seed " << c.seed;
  }
}
