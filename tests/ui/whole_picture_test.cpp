// The whole road of a picture through the real program: dropped on the main window, Space opens
// the modal preview dialog, "全画面処理" runs the engine with the progress window and the result
// box, and the main window then shows the result; D shows the difference to the picture as loaded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imagefile/image.h"
#include "ui/preview_dialog.h"
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
bool progressHiddenAtBox = false;

BOOL CALLBACK Answer(HWND window, LPARAM)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    const std::wstring title = Title(window);
    if (title == L" Preview - Quorvane" && dialogTitle.empty()) {
        dialogTitle = title;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_WHOLE_PICTURE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_WHOLE_PICTURE)));
    } else if (title == L" PSNR") {
        resultCaption = title;
        progressHiddenAtBox = !IsWindowVisible(progressWindow);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return FALSE;
}

void CALLBACK LookAround(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), Answer, 0);
}

TEST(WholePicture, RunFromTheDialogIsShownByTheMainWindowAndDShowsTheDifference)
{
    DeleteFileW(L"Quorva.ini");
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    Pump();
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
    EXPECT_TRUE(progressHiddenAtBox);
    EXPECT_FALSE(dialogOpen);
    EXPECT_FALSE(progressEnabled);

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

}  // namespace
