#include "platform/player/port.h"

namespace player {

Port* PortAt(LONG port) {
  static Port ports[kPortCount];
  if (port < 0 || port >= kPortCount) {
    return nullptr;
  }
  return &ports[port];
}

}  // namespace player
