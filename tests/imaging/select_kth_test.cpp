// The k-th smallest, against a sorted copy: every k of vectors short and
// long (the library takes over past a few hundred), with runs of equal
// values (a column of quantized levels) and ordered runs (a column of one
// level rising).

#include "imaging/select_kth.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

template <class T>
void expectEverySelectionSorted(const std::vector<T>& values) {
  std::vector<T> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  for (size_t k = 0; k < values.size(); ++k) {
    std::vector<T> v = values;
    ASSERT_EQ(imaging::kthSmallest(v, k), sorted[k]) << "k " << k << " of " << values.size();
    std::sort(v.begin(), v.end());
    ASSERT_EQ(v, sorted) << "the values themselves changed";
  }
}

TEST(KthSmallest, IsTheSortedValueForEveryK) {
  std::mt19937 random(7);
  for (size_t n : {1, 2, 3, 12, 13, 14, 40, 97, 511, 512, 513, 700})
    for (int distinct : {1, 2, 5, 1000}) {
      std::uniform_int_distribution<int> level(0, distinct - 1);
      std::vector<double> noisy(n);
      for (double& x : noisy) x = level(random) * 0.5;
      expectEverySelectionSorted(noisy);
      std::vector<float> rising(n), falling(n);
      for (size_t i = 0; i < n; ++i) rising[i] = static_cast<float>(i % distinct), falling[n - 1 - i] = rising[i];
      expectEverySelectionSorted(rising);
      expectEverySelectionSorted(falling);
    }
}

}  // namespace
