// grayWeights: the tables of weighted bytes that toGray, binarize and the
// counting passes share, filled once.

#include "weights.hpp"

namespace imaging {

const GrayWeights& grayWeights() {
  static const GrayWeights weights = [] {
    GrayWeights w{};
    for (int v = 0; v < 256; ++v) {
      w.green[v] = 0.59 * v;
      w.blue[v] = 0.11 * v;
      w.red[v] = 0.30 * v;
    }
    return w;
  }();
  return weights;
}

}  // namespace imaging
