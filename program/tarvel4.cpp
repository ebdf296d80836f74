// tarvel4: four frames per scan of a narrow strip, into "video3.avi", ten
// video frames per scan; program::runProgram around quad::convertScan.

#include "run_program.hpp"

#include "quad/stages.hpp"

namespace {

const program::ProgramTraits kProgram{
    {"tarvel4", "the *.tif scans of the current folder, four frames each, at most five",
     "video3.avi (DIVX, 640 x 480, 25 fps), ten frames per scan"},
    5,
    {{"video3.avi", "DIVX"}},
    quad::convertScan,
    quad::registerScan,
    program::quadScanLines,
};

}  // namespace

int main(int argc, char** argv) { return program::runProgram(kProgram, argc, argv); }
