// The measure of a right frame window against the truth of a film scan.
#pragma once

#include "film.h"

#include <opencv2/core.hpp>

#include <array>

namespace scangen {

// A window (four corners in order around it, scan pixels) is right for a
// picture when at least 98 % of the window's area lies on the picture and it
// covers at least 90 % of the picture's area. A window whose corners do not
// go round a convex shape of some area is never right.
bool windowIsRight(const std::array<cv::Point2d, 4>& window, const PictureTruth& picture);

// The two shares behind it: of the window on the picture, of the picture
// under the window. Both 0 for a window that is not a convex quadrilateral.
struct WindowOverlap {
    double windowOnPicture = 0, pictureCovered = 0;
};
WindowOverlap windowOverlap(const std::array<cv::Point2d, 4>& window, const PictureTruth& picture);

}  // namespace scangen
