// The strip is painted upright on a canvas a little larger than the scan, in
// millimetres scaled by the resolution, then turned by the tilt into the scan.
// Every picture is a rectangle of whole canvas pixels, so its truth corners
// are exact; the turn moves them with the same matrix as the pixels.

#include "strip_painter.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace strip {

namespace {

using registration::Gauge;

struct Layout {
  double width, pitch;       // strip width, perforation pitch (mm)
  int perPicture;            // perforations a frame
  double holeAcross, holeAlong, holeCentre, holeRadius;  // hole size, its centre from the perforated edge
  double pictureAcross, pictureAlong, pictureCentre;     // the picture and its centre from the perforated edge
  bool bothRows;
  double trackFrom = 0, trackTo = 0;                      // sound track band from the perforated edge
};

Layout layoutOf(const Request& r, cv::RNG& rng) {
  switch (r.gauge) {
    case Gauge::Film35: {
      const bool academy = r.soundTrack || rng.uniform(0, 2) == 0;
      Layout l{35.0, 4.75, 4, 2.794, 1.981, 3.41, 0.5, academy ? 21.95 : 24.89, academy ? 16.03 : 18.67,
               academy && r.soundTrack ? 18.6 : 17.5, true};
      if (r.soundTrack) l.trackFrom = 5.0, l.trackTo = 7.3;
      return l;
    }
    case Gauge::Film16: {
      Layout l{16.0, 7.62, 1, 1.829, 1.27, 1.6, 0.25, 10.26, 7.49, 8.0, !r.soundTrack};
      if (r.soundTrack) l.trackFrom = 13.5, l.trackTo = 15.3;
      return l;
    }
    case Gauge::Super8: return {7.976, 4.234, 1, 0.914, 1.143, 0.967, 0.13, 5.79, 4.01, 4.445, false};
    default: return {8.0, 3.81, 1, 1.829, 1.27, 1.6, 0.25, 4.88, 3.68, 5.14, false};
  }
}

struct Levels {
  double hole, base, line, pictureLow, pictureHigh, letter;
};

Levels levelsOf(const Request& r) {
  const double hole = r.lid ? 6 : 250;
  switch (r.stock) {
    case Stock::Print:
      return {hole, 212, 12, r.darkScenes ? 16.0 : 25.0, r.darkScenes ? 45.0 : 235.0, 40};
    case Stock::Reversal:
      return {hole, 30, 10, r.darkScenes ? 14.0 : 25.0, r.darkScenes ? 40.0 : 240.0, 190};
    default:  // a negative: the frame line is clear base, a dark scene nearly clear too
      return {hole, 150, 150, r.darkScenes ? 118.0 : 30.0, r.darkScenes ? 140.0 : 135.0, 60};
  }
}

std::vector<cv::Point> roundedRect(const cv::Rect2d& rect, double radius, double scale) {
  std::vector<cv::Point> poly;
  const double rad = std::min({radius, rect.width / 2, rect.height / 2});
  const cv::Point2d centres[4] = {{rect.x + rect.width - rad, rect.y + rad},
                                  {rect.x + rect.width - rad, rect.y + rect.height - rad},
                                  {rect.x + rad, rect.y + rect.height - rad},
                                  {rect.x + rad, rect.y + rad}};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i <= 6; ++i) {
      const double a = CV_PI / 2 * (k - 1 + i / 6.0);
      poly.emplace_back(cvRound((centres[k].x + rad * std::cos(a)) * scale),
                        cvRound((centres[k].y + rad * std::sin(a)) * scale));
    }
  return poly;
}

constexpr int kShift = 4;  // sub-pixel bits for the polygons

void fillRounded(cv::Mat& canvas, const cv::Rect2d& rect, double radius, double level) {
  const auto poly = roundedRect(rect, radius, 1 << kShift);
  cv::fillConvexPoly(canvas, poly, cv::Scalar(level), cv::LINE_AA, kShift);
}

// A scene: a smooth field, a few shapes, sometimes a bright figure touching an
// edge and a strong rise across the whole picture.
cv::Mat scene(cv::Size size, const Levels& lv, cv::RNG& rng) {
  cv::Mat small(3, 4, CV_32F);
  rng.fill(small, cv::RNG::UNIFORM, lv.pictureLow, lv.pictureHigh);
  cv::Mat field;
  cv::resize(small, field, size, 0, 0, cv::INTER_CUBIC);
  const double span = lv.pictureHigh - lv.pictureLow;
  for (int i = rng.uniform(2, 6); i > 0; --i) {
    const cv::Point c(rng.uniform(0, size.width), rng.uniform(0, size.height));
    const cv::Size axes(rng.uniform(1, size.width / 4 + 2), rng.uniform(1, size.height / 4 + 2));
    cv::ellipse(field, c, axes, rng.uniform(0, 180), 0, 360, cv::Scalar(lv.pictureLow + span * rng.uniform(0.0, 1.0)), -1);
  }
  if (rng.uniform(0, 3) == 0) {  // a bright figure at the picture's edge
    const int x = rng.uniform(0, 2) ? 0 : size.width - 1;
    cv::ellipse(field, cv::Point(x, rng.uniform(0, size.height)), cv::Size(size.width / 8 + 1, size.height / 3 + 1), 0,
                0, 360, cv::Scalar(lv.pictureHigh), -1);
  }
  if (rng.uniform(0, 3) == 0) {  // a strong rise across the picture
    const int x = rng.uniform(size.width / 5, size.width * 4 / 5 + 1);
    field.colRange(x, size.width) += span * 0.5;
  }
  cv::min(field, std::max(lv.pictureHigh, lv.pictureLow), field);
  return field;
}

void paintTrack(cv::Mat& canvas, int from, int to, const Levels& lv, cv::RNG& rng) {
  const double period = rng.uniform(6.0, 30.0);
  for (int y = from; y < to; ++y) {
    float* row = canvas.ptr<float>(y);
    for (int x = 0; x < canvas.cols; ++x)
      row[x] = static_cast<float>(lv.pictureLow + (lv.pictureHigh - lv.pictureLow) *
                                                      (0.5 + 0.45 * std::sin(x * 2 * CV_PI / (period * (1 + 0.3 * std::sin(x / 300.0))))));
  }
}

// Words with their baseline at `baseline`, `height` pixels tall, spread along the strip at random gaps.
void paintWords(cv::Mat& canvas, double baseline, double height, double level, int maxChars, cv::RNG& rng) {
  static const char* words[] = {"KODAK 5247", "14 A 2231", "EASTMAN", "AGFA 16", "FUJI 8523", "> 04 17 <"};
  const int thickness = std::max(1, cvRound(height / 8));
  int baseLine = 0;
  const cv::Size unit = cv::getTextSize("KODAK 5247", cv::FONT_HERSHEY_SIMPLEX, 1.0, thickness, &baseLine);
  const double scale = height / (unit.height + thickness);
  for (int x = rng.uniform(0, 200); x < canvas.cols; x += rng.uniform(cvRound(height * 8), cvRound(height * 30) + 2)) {
    const std::string word = std::string(words[rng.uniform(0, 6)]).substr(0, maxChars);
    cv::putText(canvas, word, cv::Point(x, cvRound(baseline)), cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(level), thickness,
                cv::LINE_AA);
  }
}

void damage(cv::Mat canvas, double mm, cv::RNG& rng) {
  for (int i = 0; i < 60; ++i)
    cv::circle(canvas, cv::Point(rng.uniform(0, canvas.cols), rng.uniform(0, canvas.rows)),
               std::max(1, cvRound(mm * rng.uniform(0.02, 0.12))), cv::Scalar(rng.uniform(0, 2) ? 5 : 245), -1);
  for (int i = 0; i < 3; ++i) {
    const int y = rng.uniform(0, canvas.rows);
    cv::line(canvas, cv::Point(0, y), cv::Point(canvas.cols, y + rng.uniform(-3, 4)), cv::Scalar(rng.uniform(0, 2) ? 10 : 240), 1);
  }
}

}  // namespace

Scan paint(const Request& r) {
  cv::RNG rng(r.seed * 7919 + 17);
  const Layout l = layoutOf(r, rng);
  const Levels lv = levelsOf(r);
  const double mm = r.dpi / 25.4;  // pixels a millimetre
  const double framePitch = l.pitch * l.perPicture;

  // The scan: the strip with background across, cut off at both ends along.
  const double lengthMm = r.frames == 1 ? framePitch * rng.uniform(1.35, 1.7) : framePitch * rng.uniform(4.4, 4.9);
  const double marginMm = l.width * rng.uniform(0.03, 0.1);
  const cv::Size scanSize(cvRound(lengthMm * mm), cvRound((l.width + 2 * marginMm) * mm));

  // The canvas: longer and taller than the scan so that the turn never reaches its edge.
  const int pad = cvRound(std::max(scanSize.width, scanSize.height) * 0.03) + 8;
  cv::Mat canvas(scanSize.height + 2 * pad, scanSize.width + 2 * pad, CV_32F, cv::Scalar(lv.hole));
  const double top = pad + marginMm * mm + rng.uniform(-0.02, 0.02) * l.width * mm;  // strip's first row
  const bool flip = rng.uniform(0, 2) == 1;  // perforations along the bottom edge instead of the top
  auto across = [&](double v) { return top + (flip ? l.width - v : v) * mm; };
  auto acrossBand = [&](double from, double to) {
    const double a = across(from), b = across(to);
    return std::make_pair(cvRound(std::min(a, b)), cvRound(std::max(a, b)));
  };
  canvas.rowRange(cvRound(top), cvRound(top + l.width * mm)).setTo(lv.base);
  // Between the perforations the image band is exposed to the frame line's level.
  {
    const double inner = l.holeCentre + l.holeAcross / 2 + 0.15;
    const auto band = acrossBand(inner, l.bothRows ? l.width - inner : l.width - 0.3);
    canvas.rowRange(band.first, band.second).setTo(lv.line);
  }
  if (l.trackTo > 0) {
    const auto band = acrossBand(l.trackFrom, l.trackTo);
    paintTrack(canvas, band.first, band.second, lv, rng);
  }

  // Pictures: the middle of the scan falls near the middle of a picture.
  const double pitchPx = framePitch * mm;
  const double scanMiddle = pad + scanSize.width / 2.0;
  const double firstCentre = scanMiddle + rng.uniform(-0.12, 0.12) * pitchPx - (r.frames == 1 ? 0 : 1.5 * pitchPx);
  const int before = static_cast<int>(std::ceil((firstCentre + pitchPx) / pitchPx)) + 1;
  const auto rows = acrossBand(l.pictureCentre - l.pictureAcross / 2, l.pictureCentre + l.pictureAcross / 2);
  std::vector<cv::Rect> rects;
  for (int n = -before; firstCentre + n * pitchPx - pitchPx < canvas.cols; ++n) {
    const double c = firstCentre + n * pitchPx;
    const int x0 = cvRound(c - l.pictureAlong * mm / 2), x1 = cvRound(c + l.pictureAlong * mm / 2);
    const cv::Rect rect(x0, rows.first, x1 - x0, rows.second - rows.first);
    const cv::Rect inside = rect & cv::Rect(0, 0, canvas.cols, canvas.rows);
    if (inside.area() == 0) continue;
    rects.push_back(rect);
    cv::Mat s = scene(rect.size(), lv, rng);
    cv::Mat mask(rect.size(), CV_8U, cv::Scalar(0));
    fillRounded(mask, cv::Rect2d(0, 0, rect.width, rect.height), 0.04 * rect.height, 255);
    s(inside - rect.tl()).copyTo(canvas(inside), mask(inside - rect.tl()));
  }

  // Dust and scratches lie on the film, so the holes painted next cover them.
  if (r.damage) damage(canvas(cv::Range(cvRound(top), cvRound(top + l.width * mm)), cv::Range::all()), mm, rng);

  // Perforations at a phase of their own against the frames, on one or both edges.
  const double holePitch = l.pitch * mm;
  const double phase = rng.uniform(0.0, holePitch);
  // About one strip in three has a torn hole, and one in three a hole taped over.
  const int torn = rng.uniform(0, 3) == 0 ? rng.uniform(1, 6) : -1, missing = rng.uniform(0, 3) == 0 ? rng.uniform(1, 12) : -1;
  int index = 0;
  for (double x = phase - holePitch; x < canvas.cols + holePitch; x += holePitch, ++index) {
    for (int row = 0; row < (l.bothRows ? 2 : 1); ++row) {
      const double v = row == 0 ? l.holeCentre : l.width - l.holeCentre;
      const cv::Rect2d hole(x - l.holeAlong * mm / 2, across(v) - l.holeAcross * mm / 2, l.holeAlong * mm, l.holeAcross * mm);
      const bool gone = r.damage && index == missing && row == 0;
      fillRounded(canvas, hole, l.holeRadius * mm, gone ? lv.base : lv.hole);
      if (r.damage && index == torn && row == 0)
        cv::ellipse(canvas, cv::Point(cvRound(x + l.holeAlong * mm / 2), cvRound(across(v))),
                    cv::Size(cvRound(l.holeAlong * mm / 3), cvRound(l.holeAcross * mm / 4)), 30, 0, 360, cv::Scalar(lv.hole), -1);
    }
  }
  if (r.letters) {
    // In the margins: between the holes and the picture (or track) and along the edge without holes,
    // wherever there is room for letters a third of a millimetre tall.
    const double inner = l.holeCentre + l.holeAcross / 2 + 0.08;
    const double nextInside = l.trackTo > 0 && l.trackFrom < l.pictureCentre ? l.trackFrom : l.pictureCentre - l.pictureAcross / 2;
    auto words = [&](double from, double to) {
      const double h = std::min(to - from - 0.1, 0.6);
      if (h < 0.3) return;
      const double base = flip ? across(from + 0.05) : across(from + 0.05) + h * mm;
      paintWords(canvas, base, h * mm, lv.letter, 12, rng);
    };
    words(inner, nextInside);
    if (!l.bothRows) {
      const double farEdge = l.trackTo > 0 && l.trackFrom > l.pictureCentre ? l.trackFrom : l.pictureCentre + l.pictureAcross / 2;
      words(farEdge + 0.05, l.width - 0.05);
    }
    words(0.08, l.holeCentre - l.holeAcross / 2 - 0.05);
  }

  // Turn the canvas about its middle into the scan.
  const cv::Point2d centre(canvas.cols / 2.0, canvas.rows / 2.0);
  cv::Mat turn = cv::getRotationMatrix2D(centre, -r.tiltDegrees, 1.0);
  turn.at<double>(0, 2) -= pad;
  turn.at<double>(1, 2) -= pad;
  cv::Mat scanF;
  cv::warpAffine(canvas, scanF, turn, scanSize, cv::INTER_LINEAR, cv::BORDER_REPLICATE);

  if (r.damage) {  // uneven light and grain
    cv::Mat light(2, 3, CV_32F);
    rng.fill(light, cv::RNG::UNIFORM, 0.86, 1.04);
    cv::resize(light, light, scanSize, 0, 0, cv::INTER_CUBIC);
    scanF = scanF.mul(light);
    cv::Mat grain(scanSize, CV_32F);
    rng.fill(grain, cv::RNG::NORMAL, 0, 4);
    scanF += grain;
  }
  Scan out;
  out.perforationPitch = holePitch;
  out.framePitch = pitchPx;
  cv::Mat gray;
  scanF.convertTo(gray, CV_8U);
  if (r.channels == 3) {
    const cv::Scalar tint = r.stock == Stock::Negative ? cv::Scalar(0.55, 0.8, 1.0) : cv::Scalar(0.95, 1.0, 0.97);
    cv::Mat planes[3];
    for (int c = 0; c < 3; ++c) scanF.convertTo(planes[c], CV_8U, tint[c]);
    cv::merge(planes, 3, out.image);
  } else {
    out.image = gray;
  }

  // Truth: a pixel rectangle [x0, x1) spans x0 - 0.5 .. x1 - 0.5 in pixel-centre coordinates.
  const cv::Matx23d m(turn);
  for (const cv::Rect& rect : rects) {
    const cv::Point2d c[4] = {{rect.x - 0.5, rect.y - 0.5}, {rect.x + rect.width - 0.5, rect.y - 0.5},
                              {rect.x + rect.width - 0.5, rect.y + rect.height - 0.5}, {rect.x - 0.5, rect.y + rect.height - 0.5}};
    Picture p;
    bool whole = true;
    for (int k = 0; k < 4; ++k) {
      p.corners[k] = cv::Point2d(m(0, 0) * c[k].x + m(0, 1) * c[k].y + m(0, 2), m(1, 0) * c[k].x + m(1, 1) * c[k].y + m(1, 2));
      whole = whole && p.corners[k].x >= -0.5 && p.corners[k].y >= -0.5 && p.corners[k].x <= scanSize.width - 0.5 &&
              p.corners[k].y <= scanSize.height - 0.5;
    }
    p.whole = whole;
    const double minX = std::min({p.corners[0].x, p.corners[3].x}), maxX = std::max({p.corners[1].x, p.corners[2].x});
    if (maxX > -0.5 && minX < scanSize.width - 0.5) out.pictures.push_back(p);
  }
  return out;
}

}  // namespace strip
