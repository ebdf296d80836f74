// The k-th smallest of a vector's values, the vector reordered.
//
//   kthSmallest  the value std::nth_element would leave at position k (k < size)
//
// The finder takes medians of short columns (a value per row of a frame line,
// about a hundred) thousands of times a scan. The library's selection branches
// on every comparison, and on noisy values those branches are often guessed
// wrong; this one partitions without branching on the values, and takes about
// a third of the time on such columns. Long or unlucky inputs finish in
// std::nth_element, which bounds the worst case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace imaging {

template <class T>
T middleOf(T x, T y, T z) {
  return std::max(std::min(x, y), std::min(std::max(x, y), z));
}

template <class T>
T kthSmallest(std::vector<T>& v, size_t k) {
  constexpr size_t kShort = 512, kFew = 12;
  T* a = v.data();
  size_t lo = 0, hi = v.size();
  // Each round keeps the side holding k; a badly chosen pivot keeps most of
  // the range, so after this many rounds the rest goes to the library.
  int rounds = 24;
  while (hi - lo > kFew && hi - lo <= kShort && rounds-- > 0) {
    // The pivot: the middle of three, or over a longer range the middle of
    // three such middles, which leaves less of it to the next round.
    const size_t span = hi - lo, e = span / 8;
    const T pivot = span < 40 ? middleOf(a[lo], a[lo + span / 2], a[hi - 1])
                              : middleOf(middleOf(a[lo], a[lo + e], a[lo + 2 * e]),
                                         middleOf(a[lo + 3 * e], a[lo + span / 2], a[lo + 5 * e]),
                                         middleOf(a[lo + 6 * e], a[lo + 7 * e], a[hi - 1]));
    // [lo, store) below the pivot, [store, i) not; the swap is unconditional.
    // Two values a step halve the loop's own count.
    size_t store = lo, i = lo;
    for (; i + 1 < hi; i += 2) {
      const T t = a[i];
      a[i] = a[store];
      a[store] = t;
      store += t < pivot;
      const T u = a[i + 1];
      a[i + 1] = a[store];
      a[store] = u;
      store += u < pivot;
    }
    if (i < hi) {
      const T t = a[i];
      a[i] = a[store];
      a[store] = t;
      store += t < pivot;
    }
    if (k < store) {
      hi = store;
      continue;
    }
    // Nothing below the pivot: split off the values equal to it, so that a
    // run of equal values cannot stall the loop.
    if (store == lo) {
      for (size_t j = lo; j < hi; ++j) {
        const T t = a[j];
        a[j] = a[store];
        a[store] = t;
        store += !(pivot < t);
      }
      if (k < store) return pivot;
    }
    lo = store;
  }
  if (hi - lo > kFew) {
    std::nth_element(a + lo, a + k, a + hi);
    return a[k];
  }
  std::sort(a + lo, a + hi);
  return a[k];
}

}  // namespace imaging
