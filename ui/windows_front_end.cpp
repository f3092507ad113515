#include "ui/windows_front_end.h"

#include <windows.h>

#include "support/result_text.h"
#include "ui/app_state.h"
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

void ShowResultBox(const QualityFigures& figures, int seconds)
{
    ShowMessageBox(FormatResultText(figures.lumaSnr, figures.chromaSnr, seconds).c_str(), resultTexts[captionText]);
}

}  // namespace

FrontEnd frontEnd;

void ShowMessageBox(const char* text, const char* caption)
{
    MessageBoxW(mainWindow, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), MB_OK | MB_SYSTEMMODAL);
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
