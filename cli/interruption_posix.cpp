#include "cli/interruption.h"

#include <csignal>
#include <initializer_list>

namespace {

void Handle(int)
{
    OnInterruption();
}

}  // namespace

void CatchInterruptions()
{
    struct sigaction action {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write running when the signal comes goes on to its end
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}
