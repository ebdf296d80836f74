// The formats: an AVI in the program's own MPEG-4 Part 2 codec, an MP4 in
// H.264 (yuv420p, which browsers and phones play) and a Matroska file in
// FFV1, lossless, for archiving. What the library's writer takes was
// measured: it keeps a rate to three decimals and halves no size, but
// rounds an odd side down, so sides must be even; the MPEG-4 Part 2
// encoder refuses a side of 8192 or more, and in its DIVX form a rate whose
// fraction over a thousandth has a numerator above 65535 (70.001 fps, say).

#include "video_formats.hpp"

#include <cctype>
#include <cstdio>
#include <numeric>

namespace program {
namespace {

constexpr double kSlowestRate = 1, kFastestRate = 120;
constexpr int kSmallestSide = 16;

bool endsWith(const std::string& name, const char* extension) {
  const std::string ext = extension;
  if (name.size() <= ext.size()) return false;
  for (size_t i = 0; i < ext.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - ext.size() + i])) != ext[i]) return false;
  return true;
}

// The digits of "12", "23.976" or "0.5" as thousandths; -1 for anything else.
long long thousandths(const std::string& text) {
  long long whole = 0, fraction = 0;
  size_t i = 0, digits = 0, decimals = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 9; ++i, ++digits)
    whole = whole * 10 + (text[i] - '0');
  if (digits == 0) return -1;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && decimals < 3; ++i, ++decimals)
      fraction = fraction * 10 + (text[i] - '0');
    if (decimals == 0) return -1;
  }
  if (i != text.size()) return -1;
  for (; decimals < 3; ++decimals) fraction *= 10;
  return whole * 1000 + fraction;
}


}  // namespace

std::optional<VideoFormat> videoFormatFor(const std::string& fileName, const std::string& ownFourcc) {
  if (endsWith(fileName, ".avi"))
    return VideoFormat{".avi", ownFourcc, ownFourcc == "MP42" ? "MPEG-4 Part 2 (MP42)" : "MPEG-4 Part 2 (DIVX)", 8190};
  if (endsWith(fileName, ".mp4")) return VideoFormat{".mp4", "avc1", "H.264", 8192};
  if (endsWith(fileName, ".mkv")) return VideoFormat{".mkv", "FFV1", "FFV1", 8192};
  return std::nullopt;
}

Rate parseRate(const std::string& text) {
  Rate rate;
  const long long milli = thousandths(text);
  if (milli < 0) {
    rate.problem = "is not a rate in frames a second such as 25, 18 or 23.976 (at most three decimals)";
  } else if (milli < kSlowestRate * 1000 || milli > kFastestRate * 1000) {
    rate.problem = "is not between 1 and 120 frames a second";
  } else {
    rate.fps = static_cast<double>(milli) / 1000;
  }
  return rate;
}

Size parseSize(const std::string& text) {
  Size size;
  int used = 0;
  if (std::sscanf(text.c_str(), "%5d%*[xX]%5d%n", &size.width, &size.height, &used) != 2 ||
      used != static_cast<int>(text.size()) || !std::isdigit(static_cast<unsigned char>(text[0]))) {
    size = {0, 0, "is not a size such as 640x480 (width x height in pixels)"};
  }
  return size;
}

std::string whyNotRate(const VideoFormat& format, double fps) {
  const long long milli = static_cast<long long>(fps * 1000 + 0.5);
  if (format.fourcc == "DIVX" && milli / std::gcd(milli, 1000LL) > 65535)
    return std::string("the ") + format.codec + " codec cannot keep time at that rate; a rate with fewer decimals serves";
  return {};
}

std::string whyNotSize(const VideoFormat& format, int width, int height) {
  char why[160];
  if (width % 2 || height % 2) return "both sides must be even numbers of pixels";
  if (width < kSmallestSide || height < kSmallestSide || width > format.largestSide || height > format.largestSide) {
    std::snprintf(why, sizeof why, "the %s codec takes sides of %d to %d pixels", format.codec, kSmallestSide,
                  format.largestSide);
    return why;
  }
  return {};
}

}  // namespace program
