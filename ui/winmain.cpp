#include <windows.h>

#include "ui/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (!StartApplication(instance)) return 1;
    const int exitCode = RunMessageLoop();
    EndApplication();
    return exitCode;
}
