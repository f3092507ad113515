#include "support/front_end.h"

thread_local FrontEnd frontEnd;

void PauseFor(int milliseconds)
{
    if (frontEnd.pause) frontEnd.pause(milliseconds);
}

void TellUser(const char* text, const char* caption)
{
    if (frontEnd.showMessage) frontEnd.showMessage(text, caption);
}
