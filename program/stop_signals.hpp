// Stopping a run cleanly. SIGINT, SIGTERM and SIGHUP only set a flag; the
// scan loop reads it before each scan, so a stopped run still releases its
// writers (the video is finished with the frames appended so far) and
// flushes what it printed. The handler is taken back once it has run, so a
// second signal ends the process at once. SIGPIPE is ignored: a closed pipe
// on standard output shows as a write error at the end, after the video is
// finished, instead of killing the process mid-video.
//
//   installStopHandlers  before the first writer is created
//   stopSignal           the signal that asked the run to stop, 0 when none
//   signalName           "SIGINT", "SIGTERM" or "SIGHUP"
#pragma once

namespace program {

void installStopHandlers();
int stopSignal();
const char* signalName(int signal);

}  // namespace program
