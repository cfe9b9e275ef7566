// The host's commands: lines on stdin, until its end or until SIGTERM or
// SIGINT, either of which ends the host as the end of its input does (so that
// a test killed on a timeout still stops the session and the camera).
#pragma once

#include <string>

namespace webhost {

// Installs the signal handlers; call once, before any thread starts.
void CatchStopSignals();
// The next line without its line feed; false at the end of stdin or on a
// stop signal.
bool NextCommand(std::string* line);

}  // namespace webhost
