#include "cli/progress_bar.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr int barWidth = 30;

struct ProgressBoard {
    std::mutex lock;
    std::FILE* stream = nullptr;
    bool shown = false;
    bool drawn = false;
    int pictures = 0;
    int finished = 0;
    std::vector<int> slotPercent;
    std::string lastLine;
};

ProgressBoard board;

int BoardPerMille()
{
    if (board.pictures <= 0) return 0;
    long long sum = board.finished * 100LL;
    for (int percent : board.slotPercent) sum += percent;
    const long long perMille = sum * 10 / board.pictures;
    return static_cast<int>(perMille > 1000 ? 1000 : perMille);
}

void EraseLocked()
{
    if (!board.drawn) return;
    std::fprintf(board.stream, "\r%*s\r", static_cast<int>(board.lastLine.size()), "");
    board.drawn = false;
}

void DrawLocked()
{
    if (!board.shown) return;
    const std::string line = ProgressLine(BoardPerMille(), board.finished, board.pictures);
    if (board.drawn && line == board.lastLine) return;
    std::fprintf(board.stream, "\r%s", line.c_str());
    std::fflush(board.stream);
    board.lastLine = line;
    board.drawn = true;
}

}  // namespace

bool ShouldShowProgress(bool quiet, bool errorIsTerminal)
{
    return errorIsTerminal && !quiet;
}

void StartProgressBoard(std::FILE* errorStream, bool shown, int pictures, int workers)
{
    std::lock_guard<std::mutex> hold(board.lock);
    board.stream = errorStream;
    board.shown = shown;
    board.drawn = false;
    board.pictures = pictures;
    board.finished = 0;
    board.slotPercent.assign(static_cast<std::size_t>(workers > 0 ? workers : 1), 0);
    board.lastLine.clear();
}

namespace {

// Moves the slot of the place to its share of the bar, in percent.
void SetSlot(const ProgressPlace& place, int share)
{
    std::lock_guard<std::mutex> hold(board.lock);
    if (place.slot < 0 || place.slot >= static_cast<int>(board.slotPercent.size())) return;
    board.slotPercent[place.slot] = share;
    DrawLocked();
}

}  // namespace

void ShowBatchProgress(const ProgressPlace& place, ProgressPhase phase, int percent)
{
    percent = std::clamp(percent, 0, 100);
    SetSlot(place,
            phase == ProgressPhase::Starting ? place.from : place.from + (place.to - place.from) * percent / 100);
}

void EndBatchProgress(const ProgressPlace& place)
{
    SetSlot(place, place.to);
}

void CountFinishedPicture(int slot)
{
    std::lock_guard<std::mutex> hold(board.lock);
    if (slot >= 0 && slot < static_cast<int>(board.slotPercent.size())) board.slotPercent[slot] = 0;
    ++board.finished;
    DrawLocked();
}

void PrintAboveBar(std::FILE* stream, const std::string& text)
{
    std::lock_guard<std::mutex> hold(board.lock);
    EraseLocked();
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
    DrawLocked();
}

void EndProgressBoard()
{
    std::lock_guard<std::mutex> hold(board.lock);
    EraseLocked();
    if (board.stream) std::fflush(board.stream);
    board.shown = false;
}

std::string ProgressLine(int perMille, int finished, int pictures)
{
    if (perMille < 0) perMille = 0;
    if (perMille > 1000) perMille = 1000;
    const int filled = perMille * barWidth / 1000;
    std::string line = "[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(barWidth - filled), '.');
    line += "] ";
    char figures[64];
    const int countWidth = static_cast<int>(std::to_string(pictures).size());
    std::snprintf(figures, sizeof figures, "%3d%%  %*d/%d", perMille / 10, countWidth, finished, pictures);
    return line + figures;
}
