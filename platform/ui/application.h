// The application's share of the dialog framework: the look and the language
// of every window.
#pragma once

#include <QPalette>

namespace ui {
// Sets the running QApplication up as the program's dialogs expect: the
// classic look ("Windows" style and the system colours) for every window,
// message boxes and menus included, the framework's own texts
// (message box buttons, edit menus) in Simplified Chinese, and `name` as the
// application's name, which message boxes show as their caption. What cannot
// be had is said on stderr and the rest still applies.
void SetUpApplication(const char* name);

// The classic grey look of the system colours.
QPalette ClassicPalette();
}  // namespace ui
