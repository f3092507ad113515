// qvn: the command-line tool that denoises pictures in batches with the desktop program's engine.
#include <thread>

#include "cli/batch.h"
#include "cli/interruption.h"
#include "cli/platform.h"
#include "imagefile/converter_library.h"
#include "support/usable_memory.h"

// On Windows the wide entry point, without the shell library, whose loading would be a third of
// qvn's start-up there.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    PrepareConsole();
    CatchInterruptions();
    // The converter module is looked for beside qvn, not in the current folder, so that qvn
    // works from wherever it is called; it is loaded when first needed.
    OfferConverterLibrary(ProgramFolder() + ConverterModuleName());

    QvnConsole console;
    console.errorIsTerminal = IsTerminal(stderr);
    console.memoryBytes = UsableMemoryBytes();
    console.cores = static_cast<int>(std::thread::hardware_concurrency());
    return RunQvn(ProgramArguments(argc, argv), console);
}
