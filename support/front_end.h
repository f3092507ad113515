#pragma once
// What the portable code asks of the program that hosts it. The desktop program plugs in its
// progress window, real pauses and message boxes; the command-line tool a progress bar and
// printed lines. Every hook may stay empty: the portable code then does without it.
//
// Per thread, so that a batch tool running several pictures at once gives each its own host.

struct FrontEnd {
    // kind 1 starts the display, kind 2 moves it to percent (0 ... 100), any other kind ends it.
    void (*showProgress)(int kind, int percent) = nullptr;
    // Waits; only the desktop program needs the pauses that let its progress window be seen.
    void (*pause)(int milliseconds) = nullptr;
    // Tells the user something and returns once it has been seen. Texts are UTF-8.
    void (*showMessage)(const char* text, const char* caption) = nullptr;
};

extern thread_local FrontEnd frontEnd;

void ReportProgress(int kind, int percent);
void PauseFor(int milliseconds);
void TellUser(const char* text, const char* caption);
