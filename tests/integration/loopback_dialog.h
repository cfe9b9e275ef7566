// The main dialog as session control sees it, without any GUI: connection
// values for the demo camera on loopback and a record of what session control
// did to the buttons and the display.
#pragma once

#include <string>
#include <vector>

#include "session/SessionDialog.h"

namespace integration {

class LoopbackDialog : public SessionDialog {
 public:
  LoopbackDialog(int cameraPort, int delaySeconds, HWND display)
      : m_display(display) {
    m_values.ip[0] = 127;
    m_values.ip[1] = 0;
    m_values.ip[2] = 0;
    m_values.ip[3] = 1;
    m_values.port = std::to_string(cameraPort);
    m_values.userName = "admin";
    m_values.password = "60917";
    m_values.delay = std::to_string(delaySeconds);
  }

  SessionValues ReadSessionValues() override { return m_values; }
  void EnableStartButton(bool enable) override { startEnabled = enable; }
  void EnableCancelButton(bool enable) override { cancelEnabled = enable; }
  void ShowMessage(const char* text) override { messages.emplace_back(text); }
  HWND GetDisplayWindow() override { return m_display; }
  void ShowDisplayFullScreen() override { ++fullScreenShows; }

  bool startEnabled = true;
  bool cancelEnabled = false;
  std::vector<std::string> messages;  // message boxes shown, in order
  int fullScreenShows = 0;

 private:
  SessionValues m_values;
  HWND m_display;
};

}  // namespace integration
