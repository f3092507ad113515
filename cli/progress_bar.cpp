#include "cli/progress_bar.h"

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

void ShowBatchProgress(const ProgressPlace& place, int kind, int percent)
{
    std::lock_guard<std::mutex> hold(board.lock);
    if (place.slot < 0 || place.slot >= static_cast<int>(board.slotPercent.size())) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    board.slotPercent[place.slot] =
        kind == 1 ? place.from : kind == 2 ? place.from + (place.to - place.from) * percent / 100 : place.to;
    DrawLocked();
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
