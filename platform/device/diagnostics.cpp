#include "platform/device/diagnostics.h"

#include "platform/device/device.h"

namespace device {

sys::StderrReport& Diagnostics() {
  static sys::StderrReport report("device", kDiagnoseIntervalMs);
  return report;
}

const char* DescribeError(DWORD error) {
  switch (error) {
    case NET_DVR_ERR_CONNECT:
      return "nothing answers";
    case NET_DVR_ERR_TIMEOUT:
      return "no answer in time";
    case NET_DVR_ERR_PASSWORD:
      return "user or password refused";
    case NET_DVR_ERR_NO_SUCH_STREAM:
      return "no such stream";
    case NET_DVR_ERR_STREAM:
      return "no usable video";
    case NET_DVR_ERR_RESOURCE:
      return "out of memory or threads";
    default:
      return "failed";
  }
}

}  // namespace device
