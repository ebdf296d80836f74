// listScans: the ".tif" entries of the current folder, letter case ignored,
// in listing order; or why they could not be listed.
#pragma once

#include <string>
#include <vector>

namespace shared {

struct ScanListing {
  std::vector<std::string> names;
  int error = 0;  // errno of a listing that failed; names is then empty
};
ScanListing listScans();

}  // namespace shared
