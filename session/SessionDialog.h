// What session control needs of the main dialog, and nothing more: the main
// dialog implements it, tests implement it without any GUI.
#pragma once

#include <string>

#include "platform/sys/types.h"

// The five connection values as the dialog's controls hold them.
struct SessionValues {
  BYTE ip[4] = {0, 0, 0, 0};  // address control's four fields, first field first
  std::string port;           // port box text
  std::string userName;       // user-name box text
  std::string password;       // password box text
  std::string delay;          // delay box text, seconds
};

class SessionDialog {
 public:
  virtual ~SessionDialog() = default;
  // Runs the exchange from the controls and returns their values.
  virtual SessionValues ReadSessionValues() = 0;
  virtual void EnableStartButton(bool enable) = 0;   // button 1000
  virtual void EnableCancelButton(bool enable) = 0;  // button 1001
  // Message box with an OK button; returns when the user has closed it.
  virtual void ShowMessage(const char* text) = 0;
  // The display dialog's window: the player's drawing surface.
  virtual HWND GetDisplayWindow() = 0;
  virtual void ShowDisplayFullScreen() = 0;
  // The display forgets the ended session's last picture and shows its own
  // face until a new picture comes. Dialogs without a display have none.
  virtual void DropDisplayPicture() {}
};
