#pragma once
// The desktop program's life: start-up in a fixed order, the message loop, and the exit sequence.
// Split into steps so that the window tests can start the real program inside their own process.
#include <windows.h>

inline constexpr const char* versionText = "Ver1.5.3";
inline constexpr const char* creditText = "Quorvane - photo denoiser";
inline constexpr const char* converterLibraryPath = "./zentile.dll";

// Start-up: settings, the two windows, the start-up canvas with its texts, the masks and the skin
// atlas, the cursors and the converter module. False when a window could not be created (the
// user has then been told).
bool StartApplication(HINSTANCE programInstance);

// Hands one message straight to the main window's or the progress window's procedure, with no
// translation or dispatch; messages for any other window are dropped.
void HandleMessage(const MSG& message);

// Runs until the quit message (or a failing GetMessage); returns the last message's wParam.
int RunMessageLoop();

// Exit: the converter module is released, the system probed, the settings file written with the
// position the main window had when it was destroyed, and the drawing resources freed.
void EndApplication();
