#pragma once
// The desktop program's side of the portable code's front end: message boxes owned by the main
// window, real pauses, and the progress window.

// Tells the user something the way the program always does: a system-modal box with an OK
// button and no icon, owned by the main window. Texts are UTF-8.
void ShowMessageBox(const char* text, const char* caption);

// Plugs the progress window, real pauses, the result box and message boxes into this thread's
// front end, the host the program hands to whole-picture runs and the file layer uses.
void PlugWindowsFrontEnd();
