// What the coach's phone may do, as the web screens ask it: the display's
// keys, the start and stop of teaching, and the state of both. The program
// implements it on its GUI thread (app/RemoteControl); the web server's
// thread calls it and waits for the answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class RemoteKey { kReplay, kFreeze, kBack, kForward, kClip, kSnapshot };

// The key an API name stands for: "R", "Space", "Left", "Right", "S", "C".
std::optional<RemoteKey> RemoteKeyNamed(std::string_view name);
// What the display's marker calls it ("保存片段" for S).
const char* RemoteKeyCaption(RemoteKey key);

struct RemoteAnswer {
  bool done = false;
  std::string message;  // what the program told the coach (its message box texts), if anything
};

struct CoachState {
  bool running = false;     // a session runs
  std::string codec;        // "h264", "h265", empty without a stream
  int width = 0;            // pixels of the picture shown; 0 before the first
  int height = 0;
  double framesPerSecond = 0;
  double megabitsPerSecond = 0;
  int linkMode = -1;        // 0 TCP, 1 UDP, -1 without a session
  std::string showing;      // "live", "replay" or "frozen"
  std::string lastClip;     // file name of the last clip saved, empty for none
  int delaySeconds = 0;
};

class CoachRemote {
 public:
  virtual ~CoachRemote() = default;
  virtual RemoteAnswer Press(RemoteKey key) = 0;
  virtual RemoteAnswer StartSession() = 0;
  virtual RemoteAnswer StopSession() = 0;
  virtual CoachState State() = 0;
};
