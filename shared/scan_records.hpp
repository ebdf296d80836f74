// What the stages found on one scan, and from what: the profiles they
// searched, the stretches they searched them in and the positions they
// chose. Each stage fills its part and prints nothing; the program's lines,
// the overlay pictures and the report are all written from the record.
// Positions along and across the strip are those of the turned scan (rows
// along the strip); crop columns are those of the loaded scan.
#pragma once

#include "run_state.hpp"

#include "imaging/profile.hpp"
#include "imaging/turned_view.hpp"
#include "registration/registration.hpp"

#include <optional>
#include <string>
#include <vector>

namespace shared {

// How a crop edge was fixed, which decides the line that reports it.
enum class EdgeBy {
  Search,     // found by searching the profile in its stretch
  NotFound,   // searched, nothing matched: the fallback column, no line
  OuterPart,  // the margin test kept the side's outer part
  Tie,        // neither margin test held: the outer part, no line
  Fixed,      // a fixed share of the width
};

struct CropSearch {
  imaging::Profile profile;               // mean of every column over the band of rows
  int bandFirstRow = 0, bandLastRow = 0;  // the band, counted from 1, both included
  int leftFirst = 0, leftEnd = 0;         // stretch [first, end) the left edge was searched in
  int rightFirst = 0, rightEnd = 0;       // and the right edge; empty when not searched
  int left = 0, right = 0;                // the columns kept, both included
  int foundLeft = 0, foundRight = 0;      // the edges as found, before a whole-width fallback
  EdgeBy leftBy = EdgeBy::Search, rightBy = EdgeBy::Search;
  bool wholeWidth = false;                // the edges gave no crop: the whole width was kept
};

// tarvel4's measurement of the frame pitch, on the first scan.
struct PitchSearch {
  float mean = 0, threshold = 0;
  int top = 0;             // the first row of the lower part; rises[j] is between rows top + j and top + j + 1
  int bounds[3] = {};      // where the four stretches of rises meet
  imaging::Profile rises;  // row-to-row change of the share of samples above the threshold
  int peaks[4] = {};       // the index of the strongest rise in each stretch
  int pitch = 0;
};

// Where the frame windows start, along and across the strip.
struct WindowSearch {
  float level = 0, threshold = 0;
  bool darkFilm = false;
  int bandStart = 0;                   // row shares over the turned columns from this one (from 1)
  int rowFirst = 0, rowEnd = 0;        // rises searched in [rowFirst, rowEnd)
  imaging::Profile rowRises;           // rowRises[i] = share of row i + 1 - share of row i
  int row = 0;                         // the strongest rise; 0 when none
  bool rowFound = false;               // a row of the stretch rises; else its first level row, or 0
  int columnFirst = 0, columnLast = 0; // steps searched in [columnFirst, columnLast]
  imaging::Profile columnSteps;        // likewise for the columns' shares over all rows
  float stepLevel = 0;                 // a step passes below it (dark film) or above it
  int column = 0;                      // the last step that passes; 0 when none
  bool columnFound = false;            // a step passed in the stretch
};

// A window cut from the turned scan; or, placed by the perforations
// (--register), a picture of the scan as loaded.
struct FrameWindow {
  int top = 0, left = 0, rows = 0, columns = 0;
  int copies = 1;  // how often it is shown in the video
  bool outside = false;  // it reaches outside the scan; the part outside is black
  std::optional<registration::PlacedFrame> placed;  // then top to columns are unused
};

// A part is empty until its stage has run, so a scan whose conversion broke
// off still tells what was found before.
struct ScanRecord {
  cv::Size loadedSize;                       // the scan as loaded
  int channels = 0;
  std::optional<CropSearch> crop;
  imaging::Turn turn = imaging::Turn::None;  // how the cropped scan was turned
  bool calibrated = false;                   // this scan set the run's resolution and geometry (the first)
  ScanResolution resolution;                 // the run's, once set
  StripGeometry geometry;                    // the run's, which this scan is cut with
  std::optional<PitchSearch> pitch;          // tarvel4's first scan only
  std::optional<WindowSearch> window;
  std::optional<registration::Registration> registration;  // with --register: what the perforations gave
  std::vector<FrameWindow> frames;           // in the order they go to the video
  std::vector<std::string> warnings;         // about this scan, in the order they arose
  std::string stop;                          // why the run cannot go on after this scan; empty when it can
};

}  // namespace shared
