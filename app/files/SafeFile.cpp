#include "files/SafeFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Failure.h"

namespace {

std::string TempPathBeside(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, nameStart) + "." + target.substr(nameStart) + ".veldra-" + std::to_string(getpid()) +
           "-" + std::to_string(counter++) + ".tmp";
}

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)), temp_(TempPathBeside(target_)) {}

PendingFile::~PendingFile()
{
    if (!committed_)
        std::remove(temp_.c_str());
}

void PendingFile::Commit()
{
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        throw Failure(target_ + ": cannot write: " + std::strerror(errno));
    committed_ = true;
}

void WriteFileSafely(const std::string& path, const void* data, std::size_t size)
{
    PendingFile pending(path);
    std::FILE* file = std::fopen(pending.TempPath().c_str(), "wb");
    if (!file)
        throw Failure(path + ": cannot write: " + std::strerror(errno));
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        throw Failure(path + ": cannot write: " + std::strerror(errno));
    pending.Commit();
}
