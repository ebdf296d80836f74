// windowIsRight: compares a frame window with a picture of the truth by the
// area they share, as convex quadrilaterals in scan pixels.
#include "film_truth.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace scangen {

namespace {

std::vector<cv::Point2f> polygon(const std::array<cv::Point2d, 4>& corners)
{
    std::vector<cv::Point2f> points;
    for (const cv::Point2d& p : corners)
        points.emplace_back(float(p.x), float(p.y));
    return points;
}

}  // namespace

WindowOverlap windowOverlap(const std::array<cv::Point2d, 4>& window, const PictureTruth& picture)
{
    const std::vector<cv::Point2f> w = polygon(window), p = polygon(picture.corners);
    if (!cv::isContourConvex(w) || !cv::isContourConvex(p))
        return {};
    const double windowArea = cv::contourArea(w), pictureArea = cv::contourArea(p);
    if (!(windowArea > 0 && pictureArea > 0))
        return {};
    std::vector<cv::Point2f> common;
    const double shared = cv::intersectConvexConvex(w, p, common);
    return {shared / windowArea, shared / pictureArea};
}

bool windowIsRight(const std::array<cv::Point2d, 4>& window, const PictureTruth& picture)
{
    const WindowOverlap o = windowOverlap(window, picture);
    return o.windowOnPicture >= 0.98 && o.pictureCovered >= 0.9;
}

}  // namespace scangen
