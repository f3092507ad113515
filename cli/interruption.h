#pragma once

// Ctrl-C during a batch (or a hang-up, a termination request, the reader of the report going
// away): qvn stops at once, except while results are being written; then it stops as soon as the
// last of those writes has finished, so that an interruption never leaves a half-written result
// or a stray temporary file beside it.

// Installs the handlers; the exit code after an interruption is 130.
void CatchInterruptions();

// Brackets one write. False when an interruption came first: the write must not start.
bool BeginWrite();
void EndWrite();

// The common part of the platform handlers: ends the process now unless writes are running.
void OnInterruption();
