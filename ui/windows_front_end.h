#pragma once
// The desktop program's side of the portable code's front end: message boxes owned by the main
// window, real pauses, and the progress window.
#include "ui/front_end.h"

// Tells the user something the way the program always does: a system-modal box with an OK
// button and no icon, owned by the main window. Texts are UTF-8.
void ShowMessageBox(const char* text, const char* caption);

// The same box with the error icon, for a failure that lost the user something they asked for.
void ShowErrorBox(const char* text, const char* caption);

// The program's host: handed to whole-picture runs, and told what the program says to the user.
// Plugged at start-up; tests replace its hooks to watch what happens.
extern FrontEnd frontEnd;

// Plugs the progress window, real pauses, the result box and message boxes into frontEnd.
void PlugWindowsFrontEnd();

// Tells the user something through frontEnd. Texts are UTF-8.
void TellUser(const char* text, const char* caption);
