#include "ui/windows_front_end.h"

#include <windows.h>

#include <string>

#include "support/result_text.h"
#include "ui/app_state.h"
#include "ui/engine_run.h"
#include "ui/progress_window.h"
#include "ui/wide_text.h"

namespace {

void ShowProgressHook(int kind, int percent)
{
    ShowProgress(kind, percent);
}

void PauseHook(int milliseconds)
{
    Sleep(static_cast<DWORD>(milliseconds));
}

// The figures' three lines, and a fourth naming the method.
void ShowResultBox(const QualityFigures& figures, int seconds, Method method)
{
    const std::string text = FormatResultText(figures.lumaSnr, figures.chromaSnr, seconds) +
                             "処理方式\t : " + methodLabels[static_cast<int>(method)] + "\n\n";
    ShowMessageBox(text.c_str(), resultTexts[captionText]);
}

}  // namespace

FrontEnd frontEnd;

namespace {

// Drops are refused while a box is up (see modalBoxesOpen).
void ShowBox(const char* text, const char* caption, UINT icon)
{
    ++modalBoxesOpen;
    MessageBoxW(mainWindow, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), MB_OK | MB_SYSTEMMODAL | icon);
    --modalBoxesOpen;
}

}  // namespace

void ShowMessageBox(const char* text, const char* caption)
{
    ShowBox(text, caption, 0);
}

void ShowErrorBox(const char* text, const char* caption)
{
    ShowBox(text, caption, MB_ICONERROR);
}

void PlugWindowsFrontEnd()
{
    frontEnd.showProgress = ShowProgressHook;
    frontEnd.pause = PauseHook;
    frontEnd.showResult = ShowResultBox;
    frontEnd.showMessage = ShowMessageBox;
}

void TellUser(const char* text, const char* caption)
{
    if (frontEnd.showMessage) frontEnd.showMessage(text, caption);
}
