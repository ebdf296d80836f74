// tarvel4: four frames per scan of a narrow strip, into "video3.avi", ten
// video frames per scan; shared::runProgram around quad::convertScan.

#include "stages.hpp"

#include "shared/program.hpp"

namespace {

const shared::ProgramSpec kProgram{
    {"tarvel4", "the *.tif scans of the current folder, four frames each, at most five",
     "video3.avi (DIVX, 640 x 480, 25 fps), ten frames per scan"},
    5,
    {{"video3.avi", "DIVX"}},
};

}  // namespace

int main(int argc, char** argv) { return shared::runProgram(kProgram, argc, argv, quad::convertScan); }
