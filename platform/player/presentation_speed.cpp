#include "platform/player/presentation_speed.h"

#include <array>
#include <atomic>

#include "platform/player/port.h"

namespace player {
namespace {

struct Speed {
  std::atomic<double> value{1.0};  // stream seconds per real second
};
std::array<Speed, kPortCount> g_speeds;

}  // namespace

bool SetPresentationSpeed(LONG port, double speed) {
  if (port < 0 || port >= kPortCount || !(speed >= kMinPresentationSpeed) ||
      !(speed <= kMaxPresentationSpeed)) {
    return false;
  }
  g_speeds[static_cast<size_t>(port)].value = speed;
  return true;
}

double PresentationSpeed(LONG port) {
  return port >= 0 && port < kPortCount ? g_speeds[static_cast<size_t>(port)].value.load() : 1.0;
}

}  // namespace player
