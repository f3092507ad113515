#pragma once
#include <cstdio>
#include <string>

#include "engine/settings.h"

// One progress line on standard error for the whole batch, driven by the engine's progress
// calls of every worker: each worker owns a slot holding the percentage of its current picture.
// Lines printed for finished pictures go through PrintAboveBar, which takes the bar away, prints
// and draws it again, so the terminal never shows a torn line.

// The bar is drawn only for a person watching: on a terminal, and not when asked to be quiet.
bool ShouldShowProgress(bool quiet, bool errorIsTerminal);

// Starts the board for a batch of `pictures` run by `workers` threads; when `shown` is false
// nothing is ever drawn, but PrintAboveBar still prints.
void StartProgressBoard(std::FILE* errorStream, bool shown, int pictures, int workers);

// Where one worker's progress goes: its slot on the board, and the share of its current picture
// that the next progress calls cover, in percent (a picture is read, processed and written, and
// the bar shows all three).
struct ProgressPlace {
    int slot = 0;
    int from = 0;
    int to = 100;
};

// A worker's progress, as the engine's hook reports it: Starting puts it at the start of the
// place's span, Working at percent of it.
void ShowBatchProgress(const ProgressPlace& place, ProgressPhase phase, int percent);

// The end of the place's span.
void EndBatchProgress(const ProgressPlace& place);

// Counts the picture of the worker at slot as finished (written or failed).
void CountFinishedPicture(int slot);

// Prints text to the stream, above the bar.
void PrintAboveBar(std::FILE* stream, const std::string& text);

// Takes the bar away for good.
void EndProgressBoard();

// The bar's text for a share of 0 ... 1000 per mille and the counts, e.g.
// "[#########...........]  45%  2/5"; fixed width for a given picture count.
std::string ProgressLine(int perMille, int finished, int pictures);
