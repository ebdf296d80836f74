// Intensity profiles and extremum search.
//
//   columnMeans      mean of the last channel of every column over a band of rows
//   profileMean      mean of the first `count` values, summed in float
//   firstDifference  forward differences, one value fewer
//   peakMaximum      largest value in [first, end) that rises over its left neighbour, else 0
//   valleyMinimum    smallest value in [first, end) that falls below its left neighbour, else 255
//   firstIndexOf     the first index of [first, end) holding a value, the stretch kept within the profile
//
// Every value stored into a Profile is a 32-bit float; the arithmetic in
// between is double precision. The searches return either one of the
// profile's own values or their start value, so callers find its position by
// exact float equality.
#pragma once

#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

namespace imaging {

using Profile = std::vector<float>;

// A sum of 8-bit samples stays exact in a float below 2^24, that is for
// bands of up to 65,793 rows: up to there an integer sum gives the same
// bits as columnMeans' float running sum, and the fast paths use one.
constexpr int kExactIntegerRows = 65793;

// Rows are counted from 1 and both ends are included:
// 1 <= firstRow <= lastRow <= height, columnCount <= width (checked in debug builds).
Profile columnMeans(const cv::Mat& image, int columnCount, int firstRow, int lastRow);
float profileMean(const Profile& profile, int count);
Profile firstDifference(const Profile& profile, int count);
// Index ranges are first <= i < end; index 0 never qualifies, having no left neighbour.
float peakMaximum(const Profile& profile, int first, int end);
float valleyMinimum(const Profile& profile, int first, int end);
// Where a search's result lies: the first i of [max(first, 0), min(end, size))
// with profile[i] == value exactly; none when no value there equals it.
std::optional<int> firstIndexOf(const Profile& profile, int first, int end, float value);

}  // namespace imaging
