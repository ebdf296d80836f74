// The videos a program can write, chosen by the extension of --video FILE,
// and the frame rates and sizes each takes.
//
//   videoFormatFor   the container and codec an extension stands for; none for another
//   parseRate        a frame rate as given on the command line, or why not
//   parseSize        a frame size "WxH" as given, or why not
//   whyNotRate       what a codec has against a rate; empty when it takes it
//   whyNotSize       what a codec has against a size; empty when it takes it
#pragma once

#include <optional>
#include <string>

namespace program {

struct VideoFormat {
  const char* extension;  // ".avi", ".mp4", ".mkv"
  std::string fourcc;     // as the writer is asked for it
  const char* codec;      // in words, for messages and the report
  int largestSide;        // the most pixels a side the codec takes
};

// ownFourcc: the codec the program writes its AVI with (DIVX or MP42).
std::optional<VideoFormat> videoFormatFor(const std::string& fileName, const std::string& ownFourcc);

struct Rate {
  double fps = 0;
  std::string problem;  // empty when fps holds the rate
};
Rate parseRate(const std::string& text);

struct Size {
  int width = 0, height = 0;
  std::string problem;  // empty when width and height hold the size
};
Size parseSize(const std::string& text);

std::string whyNotRate(const VideoFormat& format, double fps);
std::string whyNotSize(const VideoFormat& format, int width, int height);

}  // namespace program
