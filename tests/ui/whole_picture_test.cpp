// The whole road of a picture through the real program: dropped on the main window, Space opens
// the modal preview dialog, "全画面処理" runs the engine with the progress window and the result
// box, and the main window then shows the result; D shows the difference to the picture as loaded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/denoise.h"
#include "imagefile/image.h"
#include "ui/main_window.h"
#include "ui/preview_dialog.h"
#include "ui/windows_front_end.h"
#include "window_test_support.h"

using namespace window_test;

namespace {

COLORREF Noisy(int x, int y)
{
    const int n = (x * 7919 + y * 104729) % 31 - 15;
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return RGB(clamp(120 + x / 2 + n), clamp(90 + y / 2 - n), clamp(60 + n));
}

// Works inside the modal loops of the dialog and of the result box: presses "全画面処理" in the
// dialog, then records and closes the result box.
std::wstring dialogTitle;
std::wstring resultCaption;
std::wstring resultText;
bool progressHiddenAtBox = false;
bool chooseAdaptive = false;  // the dialog's method list is set to the adaptive method first

BOOL CALLBACK Answer(HWND window, LPARAM)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    const std::wstring title = Title(window);
    if (title == L" Preview - Quorvane" && dialogTitle.empty()) {
        dialogTitle = title;
        if (chooseAdaptive) {
            SendDlgItemMessageW(window, IDC_METHOD, CB_SETCURSEL, 1, 0);
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_METHOD, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_METHOD)));
        }
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_WHOLE_PICTURE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_WHOLE_PICTURE)));
    } else if (title == L" PSNR") {
        resultCaption = title;
        resultText = Title(GetDlgItem(window, 0xFFFF));
        progressHiddenAtBox = !IsWindowVisible(progressWindow);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return FALSE;
}

void CALLBACK LookAround(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), Answer, 0);
}

// One program for the suite, started without a settings file: the classic method.
class WholePicture : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        DeleteFileW(L"Quorva.ini");
        ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
        Pump();
    }
};

TEST_F(WholePicture, RunFromTheDialogIsShownByTheMainWindowAndDShowsTheDifference)
{
    WriteBmp(L"whole.bmp", 96, 80, Noisy);
    DropFiles(mainWindow, {FullPath(L"whole.bmp")});
    Pump();
    ASSERT_TRUE(pictureShown);
    const int stride = static_cast<int>(RowStride(96));
    const std::vector<std::uint8_t> loaded(heldImage.bits, heldImage.bits + stride * 80);

    UINT_PTR timer = SetTimer(nullptr, 0, 50, LookAround);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(dialogTitle, L" Preview - Quorvane");
    EXPECT_EQ(resultCaption, L" PSNR");
    // The figures' lines as they always were, then the method.
    EXPECT_EQ(resultText.rfind(L"明るさ\t : ", 0), 0u) << resultText;
    EXPECT_NE(resultText.find(L"秒\n\n処理方式\t : 標準処理"), std::wstring::npos) << resultText;
    EXPECT_TRUE(progressHiddenAtBox);
    EXPECT_FALSE(dialogOpen);

    // The main window repaints with the processed pixels.
    Pump();
    const std::vector<std::uint8_t> processed(heldImage.bits, heldImage.bits + stride * 80);
    EXPECT_NE(processed, loaded);
    Capture shown = CaptureClient(mainWindow);
    for (int y = 0; y < 80; ++y) {
        const std::uint8_t* row = processed.data() + (79 - y) * stride;
        for (int x = 0; x < 96; ++x)
            ASSERT_EQ(shown.At(x, y), RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x])) << x << "," << y;
    }

    SendMessageW(mainWindow, WM_KEYDOWN, 'D', 0);
    Pump();
    shown = CaptureClient(mainWindow);
    for (int y = 0; y < 80; ++y) {
        const std::uint8_t* before = loaded.data() + (79 - y) * stride;
        const std::uint8_t* after = processed.data() + (79 - y) * stride;
        for (int x = 0; x < 96; ++x) {
            auto diff = [&](int k) { return std::abs(before[3 * x + k] - after[3 * x + k]); };
            ASSERT_EQ(shown.At(x, y), RGB(diff(2), diff(1), diff(0))) << x << "," << y;
        }
    }
}

// The adaptive method chosen in the dialog: the result box names it, and the picture shown is the
// engine's adaptive result of the picture as loaded.
TEST_F(WholePicture, AdaptiveRunFromTheDialogSaysSoAndGivesTheEnginesResult)
{
    dialogTitle.clear();
    resultText.clear();
    WriteBmp(L"adaptive.bmp", 96, 80, Noisy);
    DropFiles(mainWindow, {FullPath(L"adaptive.bmp")});
    Pump();
    ASSERT_TRUE(pictureShown);
    Image expected;
    ASSERT_TRUE(AllocateImage(96, 80, expected));
    std::memcpy(expected.sourcePixels.get(), heldImage.sourcePixels.get(), 3 * 96 * 80);
    DenoiseSettings settings;
    settings.method = Method::Fine;
    ASSERT_TRUE(DenoiseImage(settings, {}, expected.header, expected.bits, expected.rows.get()).done);

    chooseAdaptive = true;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, LookAround);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
    KillTimer(nullptr, timer);
    chooseAdaptive = false;
    EXPECT_NE(resultText.find(L"処理方式\t : 適応型処理"), std::wstring::npos) << resultText;
    EXPECT_EQ(mainView.previewDialog.settings.method, Method::Fine);
    const std::size_t bytes = static_cast<std::size_t>(RowStride(96)) * 80;
    EXPECT_EQ(std::memcmp(heldImage.bits, expected.bits, bytes), 0);
    mainView.previewDialog.settings = DenoiseSettings{};
}

// Nothing is handled while the engine runs: the dialog must be gone and the main window have
// drawn itself where it stood before the progress window appears, or the dialog stays on screen.
// (The screen itself is not read: under Wine the main window's pixels come back after the dialog
// by the X server's order of two connections, which is Wine's and not the program's.)
TEST_F(WholePicture, TheMainWindowIsRepaintedBeforeTheRunStarts)
{
    dialogTitle.clear();
    WriteBmp(L"wide.bmp", 900, 700, Noisy);
    DropFiles(mainWindow, {FullPath(L"wide.bmp")});
    Pump();
    ASSERT_TRUE(pictureShown);
    static bool paintPendingAtStart, dialogShownAtStart, started;
    started = false;
    frontEnd.showProgress = [](int kind, int percent) {
        if (kind == 1) {
            started = true;
            paintPendingAtStart = GetUpdateRect(mainWindow, nullptr, FALSE);
            const HWND dialog = FindWindowW(L"#32770", L" Preview - Quorvane");
            dialogShownAtStart = dialog && IsWindowVisible(dialog);
        }
        ShowProgress(kind, percent);
    };
    UINT_PTR timer = SetTimer(nullptr, 0, 50, LookAround);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
    KillTimer(nullptr, timer);
    PlugWindowsFrontEnd();
    ASSERT_TRUE(started);
    EXPECT_FALSE(dialogShownAtStart);
    EXPECT_FALSE(paintPendingAtStart);
}

}  // namespace
