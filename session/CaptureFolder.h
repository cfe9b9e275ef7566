// The folder snapshots go to: "Capture" in the user's pictures folder
// (XDG_PICTURES_DIR of user-dirs.dirs, else ~/Pictures).
#pragma once

#include <string>

std::string CaptureDirectory();
// Creates the capture folder (and the pictures folder above it when missing).
// Failure is not reported: the snapshot then finds no folder and writes nothing.
void CreateCaptureDirectory();
