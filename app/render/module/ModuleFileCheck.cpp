#include "render/module/ModuleFileCheck.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>
#include <vector>

#include "files/ReadAt.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"

// The running program's own ELF header, placed by the linker: the module
// must match its class, byte order and machine.
extern "C" const ElfW(Ehdr) __ehdr_start;

namespace {

FileError Damaged(const std::string& path, const std::string& problem)
{
    return FileError(path, "not a usable module file: " + problem);
}

// True when [offset, offset + length) lies within a file of `size` bytes.
bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

void Read(int fd, const std::string& path, void* buffer, std::size_t length, std::uint64_t offset)
{
    if (const int error = ReadAt(fd, buffer, length, offset))
        throw FileError(path,
                        std::string("cannot read the module: ") + (error > 0 ? std::strerror(error) : "cut short"),
                        error > 0 ? error : 0);
}

void CheckHeaders(int fd, const std::string& path, std::uint64_t size)
{
    ElfW(Ehdr) header;
    if (size < sizeof header)
        throw Damaged(path, "too short for a shared object (" + std::to_string(size) + " bytes)");
    Read(fd, path, &header, sizeof header, 0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        throw Damaged(path, "not a shared object");
    if (header.e_ident[EI_CLASS] != __ehdr_start.e_ident[EI_CLASS] ||
        header.e_ident[EI_DATA] != __ehdr_start.e_ident[EI_DATA] || header.e_machine != __ehdr_start.e_machine)
        throw Damaged(path, "built for another kind of machine");
    if (header.e_type != ET_DYN)
        throw Damaged(path, "not a shared object");
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 ||
        !Inside(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)), size))
        throw Damaged(path, "its program headers are missing or lie past the end of the file");
    if (header.e_shoff != 0 && !Inside(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, size))
        throw Damaged(path, "cut short (its section headers lie past the end of the file)");

    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    Read(fd, path, segments.data(), segments.size() * sizeof(ElfW(Phdr)), header.e_phoff);
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type == PT_LOAD && segment.p_filesz > segment.p_memsz)
            throw Damaged(path, "a segment holds more than it maps");
        if (segment.p_filesz != 0 && !Inside(segment.p_offset, segment.p_filesz, size))
            throw Damaged(path, "cut short (a segment lies past the end of the file)");
    }
}

}  // namespace

void CheckModuleFile(const std::string& path)
{
    const std::uint64_t size = RegularFileSize(path);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw FileError::OfSystemError(path, "cannot open the module", errno);
    try {
        CheckHeaders(fd, path, size);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
}
