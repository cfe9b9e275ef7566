#include "platform/device/diagnostics.h"

namespace device {

sys::StderrReport& Diagnostics() {
  static sys::StderrReport report("device", kDiagnoseIntervalMs);
  return report;
}

}  // namespace device
