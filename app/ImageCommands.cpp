// The image program's side of the image commands: they run here, the
// farm's that read or write pictures among them.
#include <malloc.h>

#include "ImageCommand.h"
#include "commands/Commands.h"
#include "farm/FarmActions.h"

namespace {

// Frames of up to 32 MiB (1080p 16-bit RGBA is 16 MiB) come from the heap
// and stay there once freed, so that the next frame reuses pages already
// mapped instead of the kernel mapping and zeroing fresh ones for every
// buffer of every frame: a tenth or more of a TIFF frame's CPU time. The
// peak stays that of one frame's buffers per worker.
void KeepFrameMemory()
{
    constexpr int kLargestFromHeap = 32 << 20;  // the C library's upper limit
    constexpr int kKeptWhenFreed = 1 << 30;
    mallopt(M_MMAP_THRESHOLD, kLargestFromHeap);
    mallopt(M_TRIM_THRESHOLD, kKeptWhenFreed);
}

}  // namespace

int RunImageCommand(const Arguments& arguments, char**)
{
    KeepFrameMemory();
    switch (arguments.command) {
    case Arguments::Command::Render: return RunRender(arguments);
    case Arguments::Command::Demo: return RunDemo(arguments);
    default: break;
    }
    switch (arguments.farm.action) {
    case FarmArguments::Action::Chunk: return RunFarmChunk(arguments.farm);
    case FarmArguments::Action::Retry: return RunFarmRetry(arguments.farm);
    case FarmArguments::Action::Encode: return RunFarmEncode(arguments.farm);
    case FarmArguments::Action::Report: return RunFarmReport(arguments.farm);
    case FarmArguments::Action::Status: return RunFarmStatusPage(arguments.farm);
    default: return RunFarmSubmit(arguments.farm);
    }
}
