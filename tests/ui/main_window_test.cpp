// The main window driven with real messages: drops, keys, mouse, double clicks; what it shows is
// read back from the window.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <psapi.h>

#include "colour/view_transform.h"
#include "imagefile/converter_library.h"
#include "imagefile/image.h"
#include "ui/main_window.h"
#include "window_test_support.h"

using namespace window_test;

namespace {

// A picture whose every pixel differs from its neighbours, so that a shift or a flip shows.
COLORREF Pattern(int x, int y)
{
    return RGB((x * 7 + y * 3) & 0xFF, (x * 2 + y * 11 + 40) & 0xFF, (x * 13 + y * 5 + 90) & 0xFF);
}

class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        DeleteFileW(L"Quorva.ini");
        ASSERT_TRUE(StartApplication(GetModuleHandleW(nullptr)));
        Pump();
        WriteBmp(L"pattern.bmp", 160, 120, Pattern);
        WriteBmp(L"other.bmp", 150, 100, [](int, int) { return RGB(10, 20, 30); });
        std::ofstream(L"notes.txt") << "not a picture";
    }

    // Drops the files and handles what follows; a message box on the way is answered and
    // reported, so a refused file never leaves the test waiting.
    BoxSeen DropAndShow(const std::vector<std::wstring>& names)
    {
        std::vector<std::wstring> paths;
        for (const auto& n : names) paths.push_back(FullPath(n));
        BoxAnswerer box;
        DropFiles(mainWindow, paths);
        Pump();
        return box.result;
    }

    // Presses at from, moves to to and releases there.
    static void Drag(POINT from, POINT to)
    {
        SendMessageW(mainWindow, WM_MOUSEMOVE, 0, MAKELPARAM(from.x, from.y));
        SendMessageW(mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
        SendMessageW(mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
        SendMessageW(mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
        Pump();
    }

    // Compares the client area with the picture's working pixels at the current pan offset.
    void ExpectShowsWorkingPicture()
    {
        const Capture shown = CaptureClient(mainWindow);
        const BitmapInfoHeader* h = heldImage.header;
        const int stride = static_cast<int>(RowStride(h->biWidth));
        int wrong = 0;
        for (int y = 0; y < shown.height && y - mainView.panY < h->biHeight; ++y) {
            for (int x = 0; x < shown.width && x - mainView.panX < h->biWidth; ++x) {
                const int px = x - mainView.panX, py = y - mainView.panY;
                const std::uint8_t* p = heldImage.bits + (h->biHeight - 1 - py) * stride + 3 * px;
                if (shown.At(x, y) != RGB(p[2], p[1], p[0]) && wrong++ < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(MainWindowTest, ShowsTheStartUpPictureAndIgnoresKeysUntilAPictureIsDropped)
{
    EXPECT_EQ(Title(mainWindow), L"Quorvane");
    EXPECT_EQ(WindowSize(mainWindow).cx, splashSide);
    EXPECT_EQ(WindowSize(mainWindow).cy, splashSide);
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    EXPECT_FALSE(IsWindowVisible(progressWindow));

    const SIZE client = ClientSize(mainWindow);
    const Capture splash = CaptureDc(SplashCanvas, client.cx, client.cy);
    InvalidateRect(mainWindow, nullptr, FALSE);
    Pump();
    const Capture shown = CaptureClient(mainWindow);
    EXPECT_EQ(shown.pixels, splash.pixels);

    // Esc, view keys and double clicks do nothing without a picture.
    SendMessageW(mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageW(mainWindow, WM_KEYDOWN, 'N', 0);
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(10, 10));
    Pump();
    EXPECT_FALSE(QuitPosted());
    EXPECT_EQ(CaptureClient(mainWindow).pixels, splash.pixels);
    EXPECT_EQ(Title(mainWindow), L"Quorvane");

    // A refused file before any picture: the start-up picture stays, the title says so, and the
    // box says why.
    const BoxSeen box = DropAndShow({L"notes.txt"});
    EXPECT_EQ(box.text, L"読めないファイルです。。。\n" + FullPath(L"notes.txt") +
                            L": not a picture that is read here (24-bit BMP, JPEG, PNG)");
    EXPECT_FALSE(pictureShown);
    EXPECT_EQ(Title(mainWindow), L" Can't read file...");
    EXPECT_EQ(CaptureClient(mainWindow).pixels, splash.pixels);
}

TEST_F(MainWindowTest, ADroppedPictureIsShownAtItsOwnSizeWithItsNameInTheTitle)
{
    EXPECT_FALSE(DropAndShow({L"pattern.bmp"}).seen);
    EXPECT_TRUE(pictureShown);
    EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
    EXPECT_EQ(ClientSize(mainWindow).cx, 160);
    EXPECT_EQ(ClientSize(mainWindow).cy, 120);
    const Capture shown = CaptureClient(mainWindow);
    EXPECT_EQ(shown.At(0, 0), Pattern(0, 0));
    EXPECT_EQ(shown.At(159, 0), Pattern(159, 0));
    EXPECT_EQ(shown.At(37, 119), Pattern(37, 119));
    ExpectShowsWorkingPicture();
}

TEST_F(MainWindowTest, OfSeveralDroppedFilesOnlyTheFirstIsLoaded)
{
    DropAndShow({L"other.bmp", L"pattern.bmp", L"notes.txt"});
    EXPECT_EQ(Title(mainWindow), L" QVN - other.bmp");
    EXPECT_EQ(ClientSize(mainWindow).cx, 150);
    EXPECT_EQ(CaptureClient(mainWindow).At(75, 50), RGB(10, 20, 30));
}

// A file that cannot be read (not a picture, a folder, a picture cut short) leaves the picture on
// screen with its unsaved result and its name: the box says which file and why, and a double
// click still saves beside the picture.
TEST_F(MainWindowTest, ARefusedFileKeepsThePictureOnScreenAndSaysWhy)
{
    DropAndShow({L"pattern.bmp"});
    SendMessageW(mainWindow, WM_KEYDOWN, 'N', 0);
    Pump();
    const std::vector<std::uint8_t> shown(heldImage.bits, heldImage.bits + RowStride(160) * 120);
    std::ifstream in(L"pattern.bmp", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(L"cut.bmp", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    CreateDirectoryW(L"folder.bmp", nullptr);
    const struct {
        const wchar_t* name;
        const wchar_t* reason;
    } refused[] = {{L"notes.txt", L"not a picture that is read here (24-bit BMP, JPEG, PNG)"},
                   {L"folder.bmp", L"it is a folder"},
                   {L"cut.bmp", L"truncated: the file ends before its picture does"}};
    for (const auto& file : refused) {
        const BoxSeen box = DropAndShow({file.name});
        EXPECT_EQ(box.caption, L" ERROR...");
        EXPECT_EQ(box.text, L"読めないファイルです。。。\n" + FullPath(file.name) + L": " + file.reason);
        EXPECT_TRUE(pictureShown);
        EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
        EXPECT_EQ(ClientSize(mainWindow).cx, 160);
        EXPECT_EQ(std::vector<std::uint8_t>(heldImage.bits, heldImage.bits + shown.size()), shown);
        ExpectShowsWorkingPicture();
    }
    DeleteFileW(L"pattern'.bmp");
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
    Pump();
    EXPECT_NE(GetFileAttributesW(L"pattern'.bmp"), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(L"folder.bmp");
}

// A grey progressive JPEG of 24000 x 24000 in about a megabyte: one scan of flat blocks, each one
// bit long. Its loading alone needs more than a 32-bit process can address.
void WriteJpegBomb(const wchar_t* name)
{
    using namespace std::string_literals;
    const std::string table = "\xFF\xDB\x00\x43\x00"s + std::string(64, '\1');  // flat quantisation
    const std::string frame = "\xFF\xC2\x00\x0B\x08\x5D\xC0\x5D\xC0\x01\x01\x11\x00"s;  // one component
    const std::string code = "\xFF\xC4\x00\x14\x00\x01"s + std::string(15, '\0') + '\0';  // DC: 0 is "0"
    const std::string scan = "\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x00"s;
    const std::string blocks(3000 * 3000 / 8, '\0');  // every block's difference: the one-bit code 0
    std::ofstream(name, std::ios::binary) << "\xFF\xD8" << table << frame << code << scan << blocks << "\xFF\xD9";
}

TEST_F(MainWindowTest, APictureTooLargeForTheMemoryIsRefusedFromItsHeaderAtOnce)
{
    if (sizeof(void*) != 4) GTEST_SKIP() << "only a 32-bit process is sure to lack the memory";
    ASSERT_TRUE(LoadConverterLibrary("..\\..\\zentile\\zentile.dll"));
    WriteJpegBomb(L"bomb.jpg");
    DropAndShow({L"pattern.bmp"});
    PROCESS_MEMORY_COUNTERS before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);

    const BoxSeen box = DropAndShow({L"bomb.jpg"});
    PROCESS_MEMORY_COUNTERS after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    EXPECT_LT(after.PeakPagefileUsage, before.PeakPagefileUsage + (SIZE_T{256} << 20));
    EXPECT_EQ(box.text.rfind(L"読めないファイルです。。。\n" + FullPath(L"bomb.jpg") + L": too large", 0), 0u)
        << box.text;
    EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
    EXPECT_TRUE(heldImage.loaded);

    // Wider than 8192 pixels its whole run's planes cannot be had here, but it can still be viewed.
    WriteBmp(L"long.bmp", 9000, 2, [](int, int) { return RGB(10, 20, 30); });
    EXPECT_FALSE(DropAndShow({L"long.bmp"}).seen);
    EXPECT_TRUE(heldImage.loaded);
    FreeConverterLibrary();
}

TEST_F(MainWindowTest, EachViewKeyShowsWhatTheViewComputes)
{
    DropAndShow({L"pattern.bmp"});
    const BitmapInfoHeader header = *heldImage.header;
    const std::int64_t size = RowStride(header.biWidth) * header.biHeight;
    std::vector<std::uint8_t> expected(heldImage.bits, heldImage.bits + size);

    const std::pair<WPARAM, std::int8_t> keys[] = {
        {'H', kViewHue}, {'S', kViewSaturation}, {'Y', kViewLuma}, {'U', kViewBlueDifference},
        {'V', kViewRedDifference}, {'I', kViewInPhase}, {'Q', kViewQuadrature}, {'L', kViewLightness},
        {'A', kViewRedGreen}, {'B', kViewYellowBlue}, {'N', kViewNegative}, {'D', kViewDifference},
        {'P', kViewSource}, {'D', kViewDifference}};
    for (const auto& [key, mode] : keys) {
        SCOPED_TRACE(static_cast<char>(key));
        SendMessageW(mainWindow, WM_KEYDOWN, key, 0);
        Pump();
        ApplyViewTransform(mode, {}, &header, expected.data(), heldImage.rows.get());
        ASSERT_EQ(std::vector<std::uint8_t>(heldImage.bits, heldImage.bits + size), expected);
        ExpectShowsWorkingPicture();
    }
    // D right after P: nothing differs.
    EXPECT_EQ(CaptureClient(mainWindow).At(80, 60), RGB(0, 0, 0));

    // Keys outside the table change nothing.
    SendMessageW(mainWindow, WM_KEYDOWN, 'P', 0);
    Pump();
    for (WPARAM key : {WPARAM{'C'}, WPARAM{'Z'}, WPARAM{VK_F1}, WPARAM{'2'}}) {
        SendMessageW(mainWindow, WM_KEYDOWN, key, 0);
        Pump();
    }
    EXPECT_EQ(CaptureClient(mainWindow).At(5, 5), Pattern(5, 5));
}

TEST_F(MainWindowTest, DraggingPansAWidePictureWithinItsEdges)
{
    const int width = 3000;
    WriteBmp(L"wide.bmp", width, 100, Pattern);
    DropAndShow({L"wide.bmp"});
    const int clientWidth = ClientSize(mainWindow).cx;
    ASSERT_LT(clientWidth, width);  // the system caps the window at its largest size

    auto drag = [](int fromX, int toX) { Drag({fromX, 50}, {toX, 50}); };

    drag(100, 400);  // right from the start: stays at the left edge
    EXPECT_EQ(mainView.panX, 0);
    EXPECT_EQ(CaptureClient(mainWindow).At(0, 10), Pattern(0, 10));

    drag(900, 600);
    EXPECT_EQ(mainView.panX, -300);
    EXPECT_EQ(CaptureClient(mainWindow).At(0, 10), Pattern(300, 10));

    for (int i = 0; i < 4; ++i) drag(1000, 100);  // far past the right edge
    EXPECT_EQ(mainView.panX, -(width - clientWidth));
    EXPECT_EQ(mainView.panY, 0);  // the picture is no taller than the window: no vertical panning
    // Read within the screen: the part of a window beyond its edge cannot be read back.
    const Capture shown = CaptureClient(mainWindow);
    EXPECT_EQ(shown.At(500, 10), Pattern(500 + width - clientWidth, 10));

    // Moving without the button pans nothing; a new picture starts at the top-left corner.
    SendMessageW(mainWindow, WM_MOUSEMOVE, 0, MAKELPARAM(700, 20));
    Pump();
    EXPECT_EQ(mainView.panX, -(width - clientWidth));
    DropAndShow({L"pattern.bmp"});
    EXPECT_EQ(mainView.panX, 0);
    EXPECT_EQ(CaptureClient(mainWindow).At(0, 0), Pattern(0, 0));
}

// The whole window stays on the screen, so its close box and the picture's lower-right corner
// can be reached.
TEST_F(MainWindowTest, APictureLargerThanTheScreenKeepsTheWindowOnItAndPansToItsCorner)
{
    SetWindowPos(mainWindow, nullptr, 300, 240, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    WriteBmp(L"large.bmp", 2000, 1400, Pattern);
    DropAndShow({L"large.bmp"});
    RECT work, window;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(mainWindow, &window);
    EXPECT_GE(window.left, work.left);
    EXPECT_GE(window.top, work.top);
    EXPECT_LE(window.right, work.right);
    EXPECT_LE(window.bottom, work.bottom);

    for (int i = 0; i < 4; ++i) Drag({600, 500}, {10, 10});
    const SIZE client = ClientSize(mainWindow);
    EXPECT_EQ(mainView.panX, client.cx - 2000);
    EXPECT_EQ(mainView.panY, client.cy - 1400);
    EXPECT_EQ(CaptureClient(mainWindow).At(client.cx - 1, client.cy - 1), Pattern(1999, 1399));
}

TEST_F(MainWindowTest, ASmallPictureStaysInTheCornerWhenDragged)
{
    WriteBmp(L"tiny.bmp", 8, 8, Pattern);
    DropAndShow({L"pattern.bmp"});
    DropAndShow({L"tiny.bmp"});
    // The window cannot be as narrow as the picture: nothing of the previous one stays beside it.
    const Capture shown = CaptureClient(mainWindow);
    for (int y = 0; y < shown.height; ++y)
        for (int x = y < 8 ? 8 : 0; x < shown.width; ++x)
            ASSERT_EQ(shown.At(x, y), GetSysColor(COLOR_BTNFACE)) << x << "," << y;

    SendMessageW(mainWindow, WM_MOUSEMOVE, 0, MAKELPARAM(60, 10));
    SendMessageW(mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 10));
    SendMessageW(mainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2, 1));
    SendMessageW(mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(2, 1));
    Pump();
    EXPECT_EQ(mainView.panX, 0);
    EXPECT_EQ(mainView.panY, 0);
    EXPECT_EQ(CaptureClient(mainWindow).At(7, 7), Pattern(7, 7));
}

TEST_F(MainWindowTest, ADoubleClickSavesWhatIsShownBesideTheInput)
{
    DeleteFileW(L"pattern'.bmp");
    DropAndShow({L"pattern.bmp"});
    SendMessageW(mainWindow, WM_KEYDOWN, 'N', 0);
    Pump();
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
    Pump();

    std::ifstream saved(L"pattern'.bmp", std::ios::binary);
    ASSERT_TRUE(saved.good());
    const std::vector<char> bytes((std::istreambuf_iterator<char>(saved)), {});
    const int stride = 160 * 3;
    ASSERT_EQ(bytes.size(), 54u + stride * 120);
    // Top-left pixel: the last stored row; negative of the pattern.
    const std::size_t at = 54 + static_cast<std::size_t>(119) * stride;
    const COLORREF c = Pattern(0, 0);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at]), 255 - GetBValue(c));
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 1]), 255 - GetGValue(c));
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 2]), 255 - GetRValue(c));
    // Saving does not change what is shown.
    EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
}

TEST_F(MainWindowTest, AFailedSaveIsToldByTheDoubleClick)
{
    DropAndShow({L"pattern.bmp"});
    DeleteFileW(L"pattern'.bmp");
    ASSERT_TRUE(CreateDirectoryW(L"pattern'.bmp", nullptr));  // the result's name is taken by a folder
    BoxAnswerer box;
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
    Pump();
    RemoveDirectoryW(L"pattern'.bmp");
    EXPECT_EQ(box.result.caption, L" Can't Write file...");
    EXPECT_EQ(box.result.text, L"Png:書き出しに失敗しました...\n" + FullPath(L"pattern'.bmp") + L": it is a folder");
    EXPECT_TRUE(box.result.icon);
}

// A new picture starts without the figures of the last run on the one before.
TEST_F(MainWindowTest, ANewPictureStartsWithoutFigures)
{
    DropAndShow({L"pattern.bmp"});
    mainView.previewDialog.preview.figures = {21.5f, 23.25f};  // as a run on it leaves them
    // Refused: the picture and its figures stay.
    DropAndShow({L"notes.txt"});
    EXPECT_EQ(mainView.previewDialog.preview.figures.lumaSnr, 21.5f);
    DropAndShow({L"other.bmp"});
    EXPECT_EQ(mainView.previewDialog.preview.figures.lumaSnr, 0.0f);
    EXPECT_EQ(mainView.previewDialog.preview.figures.chromaSnr, 0.0f);
}

// Runs inside a message box's modal loop: drops a file on the main window, then answers the box.
void CALLBACK DropThenAnswer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(L"#32770", L" ERROR...");
    if (!box) return;
    KillTimer(nullptr, timer);
    DropFiles(mainWindow, {FullPath(L"other.bmp")});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// A box of the program waits for its answer: a drop meanwhile is refused, as during the dialog.
TEST_F(MainWindowTest, ADropWhileAMessageBoxIsUpIsIgnored)
{
    DropAndShow({L"pattern.bmp"});
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, DropThenAnswer);
    DropFiles(mainWindow, {FullPath(L"notes.txt")});
    KillTimer(nullptr, timer);
    Pump();
    EXPECT_EQ(modalBoxesOpen, 0);
    EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
    EXPECT_EQ(ClientSize(mainWindow).cx, 160);
}

// The window's thread answers nothing while it saves: a second thread sharing its input state
// watches the cursor meanwhile.
TEST_F(MainWindowTest, TheWaitCursorShowsWhileAPictureIsSaved)
{
    WriteBmp(L"large.bmp", 2000, 1400, Pattern);
    DropAndShow({L"large.bmp"});
    const HCURSOR wait = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
    const DWORD windowThread = GetCurrentThreadId();
    std::atomic<int> attached = 0;  // 1 attached, -1 refused
    std::atomic<bool> saved = false, waitSeen = false;
    std::thread watcher([&] {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue that attaching needs
        attached = AttachThreadInput(GetCurrentThreadId(), windowThread, TRUE) ? 1 : -1;
        while (attached == 1 && !saved) waitSeen = waitSeen || GetCursor() == wait;
    });
    while (attached == 0) Sleep(1);
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
    saved = true;
    watcher.join();
    ASSERT_EQ(attached, 1);
    EXPECT_TRUE(waitSeen);
    EXPECT_NE(GetCursor(), wait);
}

TEST_F(MainWindowTest, JapaneseFileNamesLoadAndShowInTheTitle)
{
    WriteBmp(L"写真.bmp", 120, 90, Pattern);
    EXPECT_FALSE(DropAndShow({L"写真.bmp"}).seen);
    EXPECT_TRUE(pictureShown);
    EXPECT_EQ(Title(mainWindow), L" QVN - 写真.bmp");
    DeleteFileW(L"写真'.bmp");
    SendMessageW(mainWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(20, 20));
    Pump();
    EXPECT_NE(GetFileAttributesW(L"写真'.bmp"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainWindowTest, SpaceOpensThePreviewDialogOnce)
{
    DropAndShow({L"pattern.bmp"});
    {
        BoxAnswerer dialog(IDC_CANCEL_BUTTON);  // its "キャンセル" button
        SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_TRUE(dialog.result.seen);
        EXPECT_EQ(dialog.result.caption, L" Preview - Quorvane");
    }
    EXPECT_FALSE(dialogOpen);

    // While the flag says a dialog is up, Space opens no second one.
    dialogOpen = true;
    BoxAnswerer none(IDC_CANCEL_BUTTON);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_FALSE(none.result.seen);
    dialogOpen = false;
}

int dropsWhileOpen = 0;

// Runs inside the dialog's modal loop: drops a file on the main window, then cancels the dialog.
void CALLBACK DropThenCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowW(L"#32770", L" Preview - Quorvane");
    if (!dialog) return;
    KillTimer(nullptr, timer);
    ++dropsWhileOpen;
    DropFiles(mainWindow, {FullPath(L"other.bmp")});
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(MainWindowTest, ADropWhileThePreviewDialogIsUpIsIgnored)
{
    DropAndShow({L"pattern.bmp"});
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, DropThenCancel);
    SendMessageW(mainWindow, WM_KEYDOWN, VK_SPACE, 0);
    KillTimer(nullptr, timer);
    Pump();
    EXPECT_EQ(dropsWhileOpen, 1);
    EXPECT_EQ(Title(mainWindow), L" QVN - pattern.bmp");
    EXPECT_EQ(ClientSize(mainWindow).cx, 160);
    EXPECT_EQ(CaptureClient(mainWindow).At(5, 5), Pattern(5, 5));
}

TEST_F(MainWindowTest, PictureTitleUsesTheNameAfterTheLastBackslash)
{
    EXPECT_EQ(PictureTitle(L"C:\\photos\\cat.bmp"), L" QVN - cat.bmp");
    EXPECT_EQ(PictureTitle(L"cat.bmp"), L" QVN - cat.bmp");
    EXPECT_EQ(PictureTitle(L"C:\\a\\"), L" QVN - ");
}

TEST_F(MainWindowTest, EscEndsTheProgram)
{
    DropAndShow({L"pattern.bmp"});
    SendMessageW(mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    RECT r;
    GetWindowRect(mainWindow, &r);
    EXPECT_EQ(closedWindowRect.left, r.left);
    EXPECT_EQ(closedWindowRect.top, r.top);
}

}  // namespace
