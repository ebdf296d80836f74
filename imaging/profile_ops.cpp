// profileMean, firstDifference, peakMaximum, valleyMinimum, firstIndexOf: the
// reductions and searches over a Profile. Each stored value is rounded to float at once;
// the searches compare stored floats exactly.

#include "profile.hpp"

#include <algorithm>
#include <cassert>

namespace imaging {

float profileMean(const Profile& profile, int count) {
  assert(count >= 1 && static_cast<size_t>(count) <= profile.size());
  float sum = 0.0f;
  for (int i = 0; i < count; ++i)
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(profile[i]));
  return static_cast<float>(static_cast<double>(sum) / count);
}

Profile firstDifference(const Profile& profile, int count) {
  assert(count >= 0 && static_cast<size_t>(count) <= profile.size());
  if (count <= 1) return {};
  Profile out(count - 1);
  for (int i = 0; i + 1 < count; ++i)
    out[i] = static_cast<float>(static_cast<double>(profile[i + 1]) - static_cast<double>(profile[i]));
  return out;
}

float peakMaximum(const Profile& profile, int first, int end) {
  float result = 0.0f;
  if (end <= first) return result;
  assert(first >= 0 && static_cast<size_t>(end) <= profile.size());
  // The element just before the range is read as the first index's neighbour.
  for (int i = first > 0 ? first : 1; i < end; ++i)
    if (profile[i - 1] < profile[i] && result < profile[i]) result = profile[i];
  return result;
}

float valleyMinimum(const Profile& profile, int first, int end) {
  float result = 255.0f;
  if (end <= first) return result;
  assert(first >= 0 && static_cast<size_t>(end) <= profile.size());
  for (int i = first > 0 ? first : 1; i < end; ++i)
    if (profile[i - 1] > profile[i] && result > profile[i]) result = profile[i];
  return result;
}

std::optional<int> firstIndexOf(const Profile& profile, int first, int end, float value) {
  end = std::min(end, static_cast<int>(profile.size()));
  for (int i = std::max(first, 0); i < end; ++i)
    if (profile[i] == value) return i;
  return std::nullopt;
}

}  // namespace imaging
