// cropToStrip: the crop both programs end their edge search with. The crop
// is a view into the scan's pixels, not a copy: the turn that follows reads
// through it, and the scan's buffer goes when both have let go of it.

#include "strip_crop.hpp"

#include <cstdio>

namespace shared {

cv::Mat cropToStrip(const cv::Mat& scan, CropSearch& found, std::vector<std::string>& warnings) {
  found.foundLeft = found.left;
  found.foundRight = found.right;
  if (0 <= found.left && found.left <= found.right && found.right <= scan.cols - 1)
    return scan.colRange(found.left, found.right + 1);
  char warning[160];
  std::snprintf(warning, sizeof warning, "strip edges x=%d, y=%d do not fit the %d-column scan; keeping the whole width",
                found.left, found.right, scan.cols);
  warnings.emplace_back(warning);
  found.left = 0;
  found.right = scan.cols - 1;
  found.wholeWidth = true;
  return scan;
}

}  // namespace shared
