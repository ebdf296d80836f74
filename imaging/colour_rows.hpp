// Passes over one row of blue, green, red pixels, sixteen pixels at a time.
// Reading every third byte does not vectorize with the baseline instruction
// set the build targets (SSE2 has no byte shuffles), so the three channels
// are split by the library's universal intrinsics (v_load_deinterleave),
// which pick the best sequence the build allows; the tail of a row, and
// machines without 128-bit vectors, take the scalar loop. The results are
// the same integers either way.
//
//   weightedGraySums  sums[c] = 59 G + 11 B + 30 R of pixel c (weightedGraySum)
//   addRedSamples     sums[c] += R of pixel c
//   redSum            the sum of R over the row
#pragma once

#include "gray_threshold.hpp"

#include <opencv2/core/hal/intrin.hpp>

#include <cstdint>

namespace imaging {

inline void weightedGraySums(const std::uint8_t* row, int cols, std::uint16_t* sums) {
  int c = 0;
#if CV_SIMD128
  const cv::v_uint16x8 wb = cv::v_setall_u16(11), wg = cv::v_setall_u16(59), wr = cv::v_setall_u16(30);
  for (; c + 16 <= cols; c += 16) {
    cv::v_uint8x16 b, g, r;
    cv::v_load_deinterleave(row + 3 * c, b, g, r);
    cv::v_uint16x8 b0, b1, g0, g1, r0, r1;
    cv::v_expand(b, b0, b1);
    cv::v_expand(g, g0, g1);
    cv::v_expand(r, r0, r1);
    // At most 25,500: the 16-bit products and sums never wrap.
    cv::v_store(sums + c, cv::v_mul_wrap(g0, wg) + cv::v_mul_wrap(b0, wb) + cv::v_mul_wrap(r0, wr));
    cv::v_store(sums + c + 8, cv::v_mul_wrap(g1, wg) + cv::v_mul_wrap(b1, wb) + cv::v_mul_wrap(r1, wr));
  }
#endif
  for (; c < cols; ++c) sums[c] = weightedGraySum(row + 3 * c);
}

inline void addRedSamples(const std::uint8_t* row, int cols, std::uint32_t* sums) {
  int c = 0;
#if CV_SIMD128
  for (; c + 16 <= cols; c += 16) {
    cv::v_uint8x16 b, g, r;
    cv::v_load_deinterleave(row + 3 * c, b, g, r);
    cv::v_uint16x8 r0, r1;
    cv::v_expand(r, r0, r1);
    cv::v_uint32x4 q0, q1, q2, q3;
    cv::v_expand(r0, q0, q1);
    cv::v_expand(r1, q2, q3);
    cv::v_store(sums + c, cv::v_load(sums + c) + q0);
    cv::v_store(sums + c + 4, cv::v_load(sums + c + 4) + q1);
    cv::v_store(sums + c + 8, cv::v_load(sums + c + 8) + q2);
    cv::v_store(sums + c + 12, cv::v_load(sums + c + 12) + q3);
  }
#endif
  for (; c < cols; ++c) sums[c] += row[3 * c + 2];
}

inline std::uint32_t redSum(const std::uint8_t* row, int cols) {
  std::uint32_t sum = 0;
  int c = 0;
#if CV_SIMD128
  cv::v_uint32x4 total = cv::v_setzero_u32();
  for (; c + 16 <= cols; c += 16) {
    cv::v_uint8x16 b, g, r;
    cv::v_load_deinterleave(row + 3 * c, b, g, r);
    cv::v_uint16x8 r0, r1;
    cv::v_expand(r, r0, r1);
    // Two sums of at most 255 per lane, then widened: no lane overflows.
    cv::v_uint32x4 q0, q1;
    cv::v_expand(r0 + r1, q0, q1);
    total += q0 + q1;
  }
  sum = cv::v_reduce_sum(total);
#endif
  for (; c < cols; ++c) sum += row[3 * c + 2];
  return sum;
}

}  // namespace imaging
