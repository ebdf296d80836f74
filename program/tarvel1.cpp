// tarvel1m and tarvel1d: one frame per scan of a wide strip, into
// "video.avi". The build picks the codec, and whether an empty "video3.avi"
// is created beside it; everything else is program::runProgram around
// single::convertScan.

#include "run_program.hpp"

#include "single/stages.hpp"

namespace {

// TARVEL_MP42_BUILD makes tarvel1m: MP42, with an empty "video3.avi" beside
// the video. Without it the driver is tarvel1d: DIVX, one file.
#ifdef TARVEL_MP42_BUILD
const program::ProgramTraits kProgram{
    {"tarvel1m", "the *.tif scans of the current folder, one film frame each, at most ten",
     "video.avi (MP42, 640 x 480, 25 fps, one frame per scan) and an empty video3.avi (MP42)"},
    10,
    {{"video.avi", "MP42"}, {"video3.avi", "MP42"}},
    single::convertScan,
    single::registerScan,
    program::singleScanLines,
};
#else
const program::ProgramTraits kProgram{
    {"tarvel1d", "the *.tif scans of the current folder, one film frame each, at most ten",
     "video.avi (DIVX, 640 x 480, 25 fps, one frame per scan)"},
    10,
    {{"video.avi", "DIVX"}},
    single::convertScan,
    single::registerScan,
    program::singleScanLines,
};
#endif

}  // namespace

int main(int argc, char** argv) { return program::runProgram(kProgram, argc, argv); }
