#define _CRT_RAND_S  // rand_s: random numbers from the system
#include "files/WholeFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "files/TemporaryNames.h"
#include "messages/Failure.h"

namespace {

// The system's words for error `code`, on one line.
std::string Cause(DWORD code)
{
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string cause(text, length);
    while (!cause.empty() && std::strchr("\r\n .", cause.back()))
        cause.pop_back();
    return cause.empty() ? "error " + std::to_string(code) : cause;
}

// The folder part of `path` as written, up to and with its last separator
// ("" for a bare name), to put before the temporary file's name. Unlike
// files/PathParts.h's FolderOf, Windows paths also split at '\\', and a
// root keeps its separator ("C:\"), which "C:" alone would not mean.
std::string FolderPrefixOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string RandomName()
{
    std::uint64_t number = 0;
    for (int i = 0; i < 2; ++i) {
        unsigned int value = 0;
        if (rand_s(&value) != 0)
            value = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ static_cast<unsigned>(i);
        number = (number << 32) | value;
    }
    return TemporaryName(number);
}

// The identity of the open file `file`: the volume and file index stand
// for device and inode, the last write time (100 ns since 1601) is turned
// into nanoseconds since 1970.
bool IdentityOfHandle(HANDLE file, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return false;
    const auto join = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
    constexpr std::int64_t k1601To1970 = 116444736000000000;  // in 100 ns
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = join(info.nFileIndexHigh, info.nFileIndexLow);
    identity.size = join(info.nFileSizeHigh, info.nFileSizeLow);
    identity.mtimeNs = (static_cast<std::int64_t>(
                            join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)) -
                        k1601To1970) *
                       100;
    return true;
}

// Opens `path` for reading when it is a file on disk; throws FileError
// otherwise.
HANDLE OpenRegularFile(const std::string& path, Links links = Links::Follow)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw FileError(path, "cannot open: " + Cause(GetLastError()));
    if (links == Links::Refuse && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        throw FileError(path, "is a symbolic link, not a file (not followed)");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw FileError(path, "is a folder, not a file");
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw FileError(path, "cannot open: " + Cause(GetLastError()));
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw FileError(path, "is a device, not a file");
    }
    return file;
}

// ReplaceFileContents, or for `replace` false WriteNewFile. MoveFileEx
// replaces a link at the path itself, for every kind of file.
FileIdentity WriteWhole(const std::string& path, const void* data, std::size_t size, bool replace)
{
    // CREATE_NEW refuses a name that exists, so the file is ours alone.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = FolderPrefixOf(path) + RandomName();
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        throw FileError(path, "cannot write: " + Cause(GetLastError()));

    const char* bytes = static_cast<const char*>(data);
    DWORD error = 0;
    for (std::size_t done = 0; done < size && !error;) {
        const DWORD chunk = static_cast<DWORD>(size - done < 0x40000000 ? size - done : 0x40000000);
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0)
            error = GetLastError() ? GetLastError() : ERROR_DISK_FULL;
        done += written;
    }
    if (!error && !FlushFileBuffers(file))
        error = GetLastError();
    FileIdentity identity;
    if (!error && !IdentityOfHandle(file, identity))
        error = GetLastError();
    if (!CloseHandle(file) && !error)
        error = GetLastError();
    if (!error && !MoveFileExA(temporary.c_str(), path.c_str(),
                               (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error) {
        DeleteFileA(temporary.c_str());
        if (error == ERROR_ALREADY_EXISTS && !replace)
            throw FileError(path, "exists already");
        throw FileError(path, "cannot write: " + Cause(error));
    }
    return identity;
}

}  // namespace

FileIdentity ReplaceFileContents(const std::string& path, const void* data, std::size_t size, WriteAs)
{
    return WriteWhole(path, data, size, true);
}

void WriteNewFile(const std::string& path, const void* data, std::size_t size) { WriteWhole(path, data, size, false); }

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FileIdentity identity;
    const bool known = IdentityOfHandle(file, identity);
    CloseHandle(file);
    return known ? std::optional<FileIdentity>(identity) : std::nullopt;
}

std::uint64_t RegularFileSize(const std::string& path)
{
    const HANDLE file = OpenRegularFile(path);
    LARGE_INTEGER size{};
    const bool known = GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (!known)
        throw FileError(path, "cannot read: " + Cause(GetLastError()));
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::string ReadFileHead(const std::string& path, std::size_t limit, Links links)
{
    const HANDLE file = OpenRegularFile(path, links);
    std::string bytes(limit, '\0');
    std::size_t done = 0;
    while (done < limit) {
        DWORD got = 0;
        if (!ReadFile(file, &bytes[done], static_cast<DWORD>(limit - done), &got, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(file);
            throw FileError(path, "cannot read: " + Cause(error));
        }
        if (got == 0)
            break;
        done += got;
    }
    CloseHandle(file);
    bytes.resize(done);
    return bytes;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
