// Output files replaced whole: each video, picture and report is written to
// a temporary file beside its final name and renamed over it only once it
// is finished, checked and on the disk. A run killed at any moment leaves
// the earlier file as it was, and two runs in one folder each write their
// own file, the last to finish winning.
//
// The temporary file is named ".<final name>.partial-XXXXXX<extension>"
// (the extension repeated last, as the video writer picks its container by
// it). The run holds a lock on it while it lives, so the next run can tell a
// file left by a killed run from one another run is still writing, and
// removes only the former.
//
//   createAside     the temporary file for a final name, locked, or why not
//   replaceWhole    flushes it to the disk and renames it over the final name
//   removeLeftovers removes the temporary files killed runs left for names in a folder
#pragma once

#include <string>

namespace program {

struct AsideFile {
  std::string finalPath;
  std::string path;  // the temporary file; empty when none
  int fd = -1;       // open for writing, and locked, while the file is aside

  AsideFile() = default;
  AsideFile(AsideFile&& other) noexcept;
  AsideFile& operator=(AsideFile&& other) noexcept;
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;
  ~AsideFile();  // removes a temporary file that was not renamed
};

// Empty when `file` now holds a new temporary file for `finalPath`, with the
// permissions a new file of the user gets; else the system's reason. A final
// name that exists but is not a regular file, or that the user may not
// write, is refused, as writing over it would be.
std::string createAside(const std::string& finalPath, AsideFile& file);

// Empty when the temporary file reached the disk and now has the final
// name; else why not (the temporary file is then removed).
std::string replaceWhole(AsideFile& file);

// For every final name `pattern` matches (empty: any name) in `folder`.
void removeLeftovers(const std::string& folder, const std::string& finalName);

}  // namespace program
