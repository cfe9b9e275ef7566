// The version resource: file and product version 1.0.0.1.
#pragma once

namespace res {
inline constexpr unsigned kVersion[4] = {1, 0, 0, 1};
inline constexpr const char* kVersionText = "1.0.0.1";
inline constexpr const char* kInternalName = "Tarnview.exe";
inline constexpr const char* kOriginalFilename = "Tarnview.exe";
// The executable's base name: the application's name, message boxes' caption.
inline constexpr const char* kApplicationName = "Tarnview";
inline constexpr unsigned kLanguage = 0x0804;  // Chinese (Simplified, PRC)
inline constexpr unsigned kCodePage = 936;
}  // namespace res
