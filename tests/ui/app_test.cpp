// The program's life in one process: start-up from a settings file, the resources it prepares,
// and the exit through Esc that writes the settings file back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "imagefile/converter_library.h"
#include "ui/draw_helpers.h"
#include "ui/main_window.h"
#include "ui/preview_layout.h"
#include "window_test_support.h"

using namespace window_test;

namespace {

std::string ReadWholeFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool IsWhite(COLORREF c)
{
    return c == RGB(255, 255, 255);
}

TEST(Application, StartsWhereTheSettingsSayAndEndsWritingThemBack)
{
    // Remembered off the left edge: the window comes back at x = 0, y kept.
    std::ofstream("Quorva.ini") << "Res=0,0,0;\nMem=0,0,0;\nViw=1024,768,24;\nPos=40,-30;\nMth = fine;\n";
    DeleteFileW(L"zentile.dll");  // the module is optional: the program starts without it
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    Pump();
    RECT r;
    GetWindowRect(mainWindow, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right - r.left, splashSide);
    EXPECT_FALSE(ConverterLibraryLoaded());
    EXPECT_FALSE(dialogOpen);
    EXPECT_FALSE(pictureShown);
    EXPECT_EQ(mainView.previewDialog.settings.method, Method::Fine);

    // The window classes as the other windows and the dialog rely on them.
    EXPECT_EQ(GetClassLongW(mainWindow, GCL_STYLE) & CS_DBLCLKS, static_cast<DWORD>(CS_DBLCLKS));
    EXPECT_NE(GetClassLongPtrW(mainWindow, GCLP_HICON), 0);
    const LONG style = GetWindowLongW(mainWindow, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(GetWindowLongW(progressWindow, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(IsWindowVisible(progressWindow));
    EXPECT_EQ(Title(progressWindow), L"");
    EXPECT_NE(openHandCursor, nullptr);
    EXPECT_NE(closedHandCursor, nullptr);

    SetWindowPos(mainWindow, nullptr, 70, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    // Esc ends the program only while a picture is shown.
    WriteBmp(L"start.bmp", 130, 100, [](int x, int y) { return RGB(x, y, 7); });
    DropFiles(mainWindow, {FullPath(L"start.bmp")});
    Pump();
    ASSERT_TRUE(pictureShown);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EndApplication();

    // The four statements as an older program wrote and reads them, then the method.
    const std::string settings = ReadWholeFile("Quorva.ini");
    EXPECT_EQ(settings.rfind("Res=", 0), 0u) << settings;
    EXPECT_NE(settings.find(";\nViw="), std::string::npos) << settings;
    EXPECT_NE(settings.find(";\nPos=90,70;\nMth=fine;\n"), std::string::npos) << settings;
    EXPECT_EQ(settings.substr(settings.size() - 10), "Mth=fine;\n");
    EXPECT_EQ(SplashCanvas, nullptr);
    EXPECT_EQ(mainWindowDc, nullptr);
}

// A file without the method, or naming one the program does not know, gives the classic method,
// and the file written at exit names it.
TEST(Application, AnOldOrUnknownMethodMeansClassic)
{
    for (const char* statement : {"", "Mth=sharpest;"}) {
        std::ofstream("Quorva.ini") << "Pos=10,20;\n" << statement;
        mainView.previewDialog.settings.method = Method::Fine;
        ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
        EXPECT_EQ(mainView.previewDialog.settings.method, Method::Classic) << statement;
        SendMessageW(mainWindow, WM_CLOSE, 0, 0);
        EXPECT_EQ(RunMessageLoop(), 0);
        EndApplication();
        EXPECT_NE(ReadWholeFile("Quorva.ini").find("Mth=classic;"), std::string::npos) << statement;
    }
}

TEST(Application, ThePreparedCanvasMasksAndAtlasAgree)
{
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    Pump();

    // The progress mark's mask is white exactly where the canvas strip is white.
    const Capture strip = CaptureDc(SplashCanvas, 230, 230);
    const Capture mark = CaptureDc(ProgressMarkMask, progressMarkSize.cx, progressMarkSize.cy);
    int markPixels = 0;
    for (int y = 0; y < progressMarkSize.cy; ++y) {
        for (int x = 0; x < progressMarkSize.cx; ++x) {
            const bool white = IsWhite(strip.At(progressMarkPlace.x + x, progressMarkPlace.y + y));
            EXPECT_EQ(IsWhite(mark.At(x, y)), white) << x << "," << y;
            markPixels += !white;
        }
    }
    EXPECT_GT(markPixels, 0);  // the start-up picture has a mark there

    // The atlas mask likewise; the knob's outline is drawn, the white around it is transparent.
    const Capture atlas = CaptureDc(SkinAtlas, 64, 64);
    const Capture atlasMask = CaptureDc(SkinAtlasMask, 64, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) ASSERT_EQ(IsWhite(atlasMask.At(x, y)), IsWhite(atlas.At(x, y))) << x << "," << y;
    }
    EXPECT_TRUE(IsWhite(atlasMask.At(knobPicture.x, knobPicture.y)));       // knob corner: transparent
    EXPECT_FALSE(IsWhite(atlasMask.At(knobPicture.x, knobPicture.y + 8)));  // knob outline

    // The version text is drawn in light grey right of and below its place.
    RECT client;
    GetClientRect(mainWindow, &client);
    const int textX = static_cast<int>(client.right / 2.25), textY = client.bottom / 3;
    int grey = 0;
    for (int y = textY; y < textY + 12; ++y) {
        for (int x = textX; x < textX + 40; ++x) grey += strip.At(x, y) == RGB(192, 192, 192);
    }
    EXPECT_GT(grey, 10);
    int above = 0;
    for (int x = textX; x < textX + 40; ++x) above += strip.At(x, textY - 2) == RGB(192, 192, 192);
    EXPECT_EQ(above, 0);

    // The close box quits too, recording where the window stood and the display it was on,
    // although the window is gone by then.
    SendMessageW(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(IsWindow(mainWindow));
    EndApplication();
    HDC screen = GetDC(nullptr);
    const std::string display = "Viw=" + std::to_string(GetDeviceCaps(screen, HORZRES)) + "," +
                                std::to_string(GetDeviceCaps(screen, VERTRES)) + "," +
                                std::to_string(GetDeviceCaps(screen, BITSPIXEL)) + ";";
    ReleaseDC(nullptr, screen);
    EXPECT_NE(ReadWholeFile("Quorva.ini").find(display), std::string::npos) << display;
}

TEST(Application, LoadsTheConverterModuleFromTheCurrentFolderAndFreesItAtExit)
{
    // The module as the build makes it, beside the test program's working folder.
    ASSERT_TRUE(CopyFileW(L"..\\..\\zentile\\zentile.dll", L"zentile.dll", FALSE));
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(ConverterLibraryLoaded());
    EXPECT_NE(GetModuleHandleW(L"zentile.dll"), nullptr);
    SendMessageW(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EndApplication();
    EXPECT_FALSE(ConverterLibraryLoaded());
    EXPECT_EQ(GetModuleHandleW(L"zentile.dll"), nullptr);
    DeleteFileW(L"zentile.dll");
}

// The slider's drawn track is kept from its first draw until the exit; the exit frees it with the
// main window's context it holds, so a later start draws the track afresh in the face colour of
// that moment.
TEST(Application, ExitFreesTheSliderTrackKeptSinceItsFirstDraw)
{
    const auto setFace = [](COLORREF colour) {
        INT element = COLOR_BTNFACE;
        SetSysColors(1, &element, &colour);
    };
    // The session's face colour comes back however the test ends.
    struct FaceKept {
        COLORREF saved = GetSysColor(COLOR_BTNFACE);
        ~FaceKept()
        {
            INT element = COLOR_BTNFACE;
            SetSysColors(1, &element, &saved);
        }
    } faceKept;
    const auto faceAroundTrack = []() {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 240);
        HGDIOBJ old = SelectObject(dc, bitmap);
        DrawStrengthSlider(dc, 50);
        const COLORREF face = CaptureDc(dc, 400, 240).At(sliderBlock.left + 1, sliderBlock.top + 1);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return face;
    };

    setFace(RGB(192, 192, 192));
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    EXPECT_EQ(faceAroundTrack(), RGB(192, 192, 192));
    SendMessageW(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EndApplication();

    setFace(RGB(200, 180, 160));
    ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
    EXPECT_EQ(faceAroundTrack(), RGB(200, 180, 160));
    SendMessageW(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EndApplication();
}

}  // namespace
