#include "files/PendingFiles.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace {

// One slot per file being written at once: a worker writes one frame at a
// time and there are at most 1024 workers.
constexpr int kSlots = 1024 + 16;

enum : int { kFree, kClaimed, kReady };

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};

Slot slots[kSlots];

}  // namespace

int RegisterPendingFile(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (slots[i].state.compare_exchange_strong(expected, kClaimed)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state = kReady;
            return i;
        }
    }
    return -1;
}

void ReleasePendingFile(int slot)
{
    if (slot >= 0)
        slots[slot].state = kFree;
}

void RemovePendingFiles()
{
    for (Slot& slot : slots) {
        if (slot.state.load() == kReady)
            unlink(slot.path);
    }
}
