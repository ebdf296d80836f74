// The stages that make a film scan, shared by the film_*.cpp files.
//
// Everything is laid out and painted in "straight" scan pixels: the scan's
// own pixel grid before the tilt, x along the strip, y across it. Every edge
// of a picture or a perforation lies on a pixel boundary there (a half-
// integer), so the truth is exact before the one turn that carries the
// painting into the scan. The painting itself happens on a canvas larger than
// the scan by `pad` on each side, so that the turn finds strip everywhere.
#pragma once

#include "film.h"

#include <opencv2/core.hpp>

#include <vector>

namespace scangen {

// ---- geometry (film_layout.cpp) ----

struct FramePlace {
    int index;             // frame number along the strip; 0 is the first whole one
    cv::Rect picture;      // straight pixels, may reach outside the scan
};

struct FilmLayout {
    cv::Size scan;                 // W x H
    double alongScale = 0;         // pixels per millimetre of film along the strip
    double acrossScale = 0;        // and across it (prints shrink, scanners stretch)
    int filmTop = 0, filmBottom = 0;        // rows [filmTop, filmBottom) hold film
    double perforationPitch = 0, framePitch = 0;  // pixels
    int perforationsPerFrame = 0, perforationRows = 0;
    cv::Size2d perforationSize;    // along x across, pixels, before snapping
    int perforationRadius = 0;     // the punched corners' radius, pixels
    int pictureRadius = 0;
    cv::Range frameArea;           // rows the printer exposes around the pictures
    bool sound = false;
    cv::Range soundRows;           // rows of the sound track, when there is one
    bool fullAperture = false;
    cv::Size2d pictureSize;        // along x across, pixels, before snapping
    std::vector<FramePlace> frames;          // every frame that reaches the canvas, in order
    std::vector<cv::Rect> perforations;      // every perforation that reaches the canvas
    // Zones of bare base beside the perforations where edge lettering goes.
    std::vector<cv::Range> letterRows;
};

FilmLayout planFilm(const FilmRequest& request, cv::RNG& rng);

// How far the canvas reaches past the scan on each side for a tilt.
cv::Point canvasPad(cv::Size scan, double tiltDegrees);

// ---- tones (film_look.cpp) ----

struct StockLook {
    bool backlit = true;           // holes and surround show the light, else the lid
    double surround = 0;           // light or lid, gray level
    double base = 0;               // bare film base
    double frameArea = 0;          // frame lines and the printed margins
    double letters = 0;            // edge lettering
    double soundDark = 0, soundClear = 0;
    double pictureLo = 0, pictureHi = 0, gamma = 1;  // print and reversal: scene 0 and 1
    double negativeDepth = 0;      // negative: a white scene darkens the base by this share
    bool negative = false;
    cv::Scalar tint{1, 1, 1, 0};   // B, G, R factors of the stock's colour, mean 1
    double grain = 0;              // sigma, gray levels
};

StockLook planLook(Stock stock, cv::RNG& rng);
// A level in the stock's colour: gray scans take it as it is.
cv::Scalar tinted(const StockLook& look, double level, int channels);
// Scene (CV_32FC3, 0 to 1) to film levels, 8-bit with `channels` channels.
cv::Mat developScene(const cv::Mat& scene, const StockLook& look, int channels);

// ---- picture content (film_scene.cpp) ----

// A shot: what a run of frames shows, CV_32FC3 in [0, 1] in strip
// orientation (x along), larger than one picture by `margin` on each side so
// that frames can pan over it; frame k cuts it `k * pan` off the middle.
struct Shot {
    cv::Mat scene;
    SceneKind kind = SceneKind::Landscape;
    int margin = 0;
    cv::Point2d pan;               // scene pixels a frame
    double darkSide = -1;          // InnerRise: the scene value beside the faint frame line
};

SceneKind drawSceneKind(cv::RNG& rng);
Shot makeShot(SceneKind kind, cv::Size picture, cv::RNG& rng);

// ---- painting the straight strip (film_strip.cpp, film_sound.cpp, film_edge.cpp, film_wear.cpp) ----

struct StripPlan {
    const FilmLayout& layout;
    const StockLook& look;
    cv::Point pad;                 // canvas pixel of straight pixel (0, 0)
    int channels;
    bool damage;
};

// Frames before `cutAt` show shots[0], the rest shots.back().
void paintStrip(cv::Mat canvas, const StripPlan& plan, const std::vector<Shot>& shots, int cutAt, cv::RNG& rng);
// Fills a rectangle with corners rounded by `radius`, symmetric about its
// centre, clipped to the image.
void fillRounded(cv::Mat image, const cv::Rect& area, int radius, const cv::Scalar& colour);
void paintFilmSound(cv::Mat band, double pixelsPerMm, const StockLook& look, double perforationPitch, cv::RNG& rng);
void paintPerforations(cv::Mat canvas, const StripPlan& plan);
void paintEdgeLettering(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng);
void paintSplice(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng);
void paintScratchesAndDust(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng);

// ---- the scanner (film_light.cpp) ----

// Uneven light (vignetting, one side brighter) and grain over the finished
// scan, in place; `spare` is a continuous buffer at least the scan's size in
// bytes that it may overwrite.
void scannerLight(cv::Mat scan, cv::Mat spare, double dpi, const StockLook& look, cv::RNG& rng);

}  // namespace scangen
