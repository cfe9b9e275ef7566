// The program's web server: listens from the main dialog's start to the
// program's end on every address of the machine (port "webListen"), so that
// televisions and phones on the pool's network reach it, and serves its pages
// whether or not a session runs.
#pragma once

#include <string>

class CoachRemote;

// Starts it on `port` (0: off) with the tokens of ./web.ini (made when
// missing), the coach's remote (which must outlive the server) and the
// capture folder. False, said on stderr, when it cannot listen.
bool StartWebServer(int port, CoachRemote* remote, const std::string& captureDir);
void StopWebServer();
// The viewer page's address on this machine's network, token included, for
// the W key's QR code; empty while the server does not run.
std::string ViewerAddress();
