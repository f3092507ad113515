#include "cli/interruption.h"

#include <windows.h>

namespace {

BOOL WINAPI Handle(DWORD)
{
    OnInterruption();
    return TRUE;  // a write is running: its end finishes the process
}

}  // namespace

void CatchInterruptions()
{
    SetConsoleCtrlHandler(Handle, TRUE);
}
