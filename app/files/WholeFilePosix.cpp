#include "files/WholeFile.h"

#include <cerrno>
#include <climits>
#include <memory>
#include <cstdlib>
#include <utility>
#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "messages/Failure.h"
#include "files/FileBeingWritten.h"
#include "files/PathParts.h"
#include "files/PendingFiles.h"
#include "files/ReadAt.h"
#include "files/TemporaryNames.h"
#include "files/TestFaults.h"

namespace {

std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

FileError NotAFile(const std::string& path, mode_t mode)
{
    return FileError(path, "is " + KindOf(mode) + ", not a file", S_ISDIR(mode) ? EISDIR : 0);
}

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// "alice (uid 1001)", or "uid 1001" for a user without a name.
std::string UserWords(uid_t user)
{
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    const std::string number = "uid " + std::to_string(user);
    if (getpwuid_r(user, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return std::string(found->pw_name) + " (" + number + ")";
    return number;
}

// Where a write lands: a name in a folder held open, so that the
// temporary file and the rename happen in the same folder, whatever is
// done to the path meanwhile. `folderPath` is for messages and for the
// signal handlers that remove a temporary file by its path.
struct Landing {
    Descriptor folder;
    std::string folderPath;
    std::string name;
};

Descriptor OpenFolder(const std::string& path, int at, const std::string& folder)
{
    const int fd = openat(at, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw FileError::OfSystemError(path, "cannot write", errno);
    return Descriptor(fd);
}

// The folder and name `path` is written at. A symbolic link there is
// followed (and a chain of them) only while each link belongs to the user
// or to the owner of the folder holding it (WholeFile.h); each link is
// checked and read through one descriptor, so it cannot be swapped for
// another between the two. Records never follow a link.
Landing WhereToWrite(const std::string& path, WriteAs kind)
{
    Landing landing{OpenFolder(path, AT_FDCWD, FolderOf(path)), FolderOf(path), NameOf(path)};
    for (int hops = 0; kind == WriteAs::UserFile; ++hops) {
        if (landing.name.empty() || landing.name == "." || landing.name == "..")
            throw FileError(path, "is a folder, not a file", EISDIR);
        const Descriptor entry(openat(landing.folder.Get(), landing.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat link {};
        if (entry.Get() < 0 || fstat(entry.Get(), &link) != 0 || !S_ISLNK(link.st_mode))
            break;  // nothing there yet, or no link: written where it is
        const std::string linkPath = landing.folderPath == "." ? landing.name : landing.folderPath + "/" + landing.name;
        const std::string which = linkPath == path ? "is a symbolic link"
                                                   : "leads through the symbolic link " + linkPath;
        if (hops >= 40)
            throw FileError::OfSystemError(path, which, ELOOP);
        struct stat folder {};
        if (fstat(landing.folder.Get(), &folder) != 0)
            throw FileError::OfSystemError(path, "cannot write", errno);
        if (link.st_uid != geteuid() && link.st_uid != folder.st_uid)
            throw FileError(path, which + " owned by " + UserWords(link.st_uid) +
                                      ", neither you nor the folder's owner: not followed, nothing written");
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlinkat(entry.Get(), "", &target[0], target.size());
        if (length < 0)
            throw FileError::OfSystemError(path, which + " that cannot be read", errno);
        target.resize(static_cast<std::size_t>(length));
        // A relative target is taken from the folder holding the link.
        Descriptor next = OpenFolder(path, landing.folder.Get(), FolderOf(target));
        if (target[0] == '/')
            landing.folderPath = FolderOf(target);
        else if (target.find('/') != std::string::npos)
            landing.folderPath += "/" + FolderOf(target);
        landing.folder = std::move(next);
        landing.name = NameOf(target);
    }
    return landing;
}

// Writes everything at `offset`, or returns the error number of the write
// that failed. A simulated full disk counts from the file's start.
int WriteAll(int fd, const char* data, std::size_t size, std::uint64_t offset)
{
    const std::uint64_t room = SimulatedDiskBytes();
    const std::size_t allowed = offset >= room         ? 0
                                : size < room - offset ? size
                                                       : static_cast<std::size_t>(room - offset);
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t written = pwrite(fd, data + done, allowed - done, static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return allowed < size ? ENOSPC : 0;
}

// A temporary name (files/TemporaryNames.h) with this process's tag,
// random unless a test asks for predictable names (files/TestFaults.h).
std::string RandomName(const std::string& target)
{
    std::uint64_t number = 0;
    const long long predictable = PredictableNameNumber();
    if (predictable >= 0)
        number = static_cast<std::uint64_t>(predictable);
    else if (getrandom(&number, sizeof number, 0) != static_cast<ssize_t>(sizeof number))
        throw FileError::OfSystemError(target, "cannot make a temporary name", errno);
    return TemporaryName(number, TemporaryNameTag());
}

// A temporary file in the landing's folder, made exclusively (O_EXCL
// refuses an existing name and a planted link) with `mode` (under the
// umask), and registered for removal on a signal. Removes itself unless
// Committed().
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, const Landing& landing, mode_t mode) : folder_(landing.folder.Get())
    {
        for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
            name_ = RandomName(target);
            slot_ = RegisterPendingFile(landing.folderPath + "/" + name_);
            fd_ = openat(folder_, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd_ < 0) {
                const int error = errno;
                ReleasePendingFile(slot_);
                if (error != EEXIST)
                    throw FileError::OfSystemError(target, "cannot write", error);
            }
        }
        if (fd_ < 0)
            throw FileError::OfSystemError(target, "cannot write", EEXIST);
    }
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!committed_)
            unlinkat(folder_, name_.c_str(), 0);
        ReleasePendingFile(slot_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return fd_; }
    const std::string& Name() const { return name_; }

    // Closes the file; the error number when closing fails, else 0.
    int Close()
    {
        const int result = close(fd_);
        fd_ = -1;
        if (InjectedFailure("close"))
            return EIO;
        return result == 0 ? 0 : errno;
    }
    void Committed() { committed_ = true; }

private:
    int folder_;
    std::string name_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// fsync and rename, each returning the error number or 0.
int SyncToDisk(int fd)
{
    if (InjectedFailure("fsync"))
        return EIO;
    return fsync(fd) == 0 ? 0 : errno;
}

// Puts the temporary file `from` in place: renamed over what is there, or,
// for a new file, linked to its name only if that is free (link fails on
// a name taken, where rename would replace it). Returns the error number
// or 0.
int PutInPlace(const Landing& landing, const std::string& from, bool replace)
{
    if (InjectedFailure("rename"))
        return EIO;
    const int folder = landing.folder.Get();
    const int result = replace ? renameat(folder, from.c_str(), folder, landing.name.c_str())
                               : linkat(folder, from.c_str(), folder, landing.name.c_str(), 0);
    return result == 0 ? 0 : errno;
}

// Gives the new file the permissions and owner of the one it replaces.
// Owner first: changing it clears set-id bits that the mode then restores.
// Only the superuser may give a file away, so a refused owner is no error.
void KeepAttributes(int fd, const struct stat& old)
{
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Keep the group at least when the owner cannot be kept.
            (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    (void)!fchmod(fd, old.st_mode & 07777);
}

FileIdentity IdentityFrom(const struct stat& info)
{
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::uint64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace

struct FileBeingWritten::Temporary {
    Temporary(const std::string& path, Landing where, mode_t mode)
        : landing(std::move(where)), file(path, landing, mode)
    {}
    Landing landing;  // first: the file is made in its folder
    TemporaryFile file;
};

FileBeingWritten::FileBeingWritten(const std::string& path, WriteAs kind, bool replace) : path_(path), replace_(replace)
{
    Landing landing = WhereToWrite(path, kind);
    struct stat old {};
    const bool exists = fstatat(landing.folder.Get(), landing.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !replace)
        throw FileError(path, "exists already", EEXIST);
    // A record replaces whatever stands at its path in its own folder (a
    // link, a FIFO), never a folder, and keeps nothing of it.
    const bool replacing = exists && kind == WriteAs::UserFile;
    if (exists && (kind == WriteAs::UserFile ? !S_ISREG(old.st_mode) : S_ISDIR(old.st_mode)))
        throw NotAFile(path, old.st_mode);
    temporary_ = std::make_unique<Temporary>(path, std::move(landing), kind == WriteAs::UserFile ? 0666 : 0644);
    if (replacing)
        KeepAttributes(temporary_->file.Descriptor(), old);
}

FileBeingWritten::~FileBeingWritten() = default;

void FileBeingWritten::Write(const void* data, std::size_t size)
{
    const int error = WriteAll(temporary_->file.Descriptor(), static_cast<const char*>(data), size, position_);
    if (error)
        throw FileError::OfSystemError(path_, "cannot write", error);
    position_ += size;
    if (position_ > size_)
        size_ = position_;
}

FileIdentity FileBeingWritten::Commit()
{
    TemporaryFile& temporary = temporary_->file;
    StallWhenAsked(path_);
    int error = SyncToDisk(temporary.Descriptor());
    struct stat written {};
    if (!error && fstat(temporary.Descriptor(), &written) != 0)
        error = errno;
    const int closeError = temporary.Close();
    if (!error)
        error = closeError;
    if (!error)
        error = PutInPlace(temporary_->landing, temporary.Name(), replace_);
    if (error == EEXIST && !replace_)
        throw FileError(path_, "exists already", EEXIST);
    if (error)
        throw FileError::OfSystemError(path_, "cannot write", error);
    // A new file is linked to its name: the temporary one goes.
    if (replace_)
        temporary.Committed();

    // The rename itself reaches the disk only with the folder's entry.
    // Some file systems cannot sync a folder; the file is in place either way.
    (void)!fsync(temporary_->landing.folder.Get());
    return IdentityFrom(written);
}

namespace {

// ReplaceFileContents, or for `replace` false WriteNewFile.
FileIdentity WriteWhole(const std::string& path, const void* data, std::size_t size, WriteAs kind, bool replace)
{
    FileBeingWritten file(path, kind, replace);
    file.Write(data, size);
    return file.Commit();
}

}  // namespace

FileIdentity ReplaceFileContents(const std::string& path, const void* data, std::size_t size, WriteAs kind)
{
    return WriteWhole(path, data, size, kind, true);
}

void WriteNewFile(const std::string& path, const void* data, std::size_t size)
{
    WriteWhole(path, data, size, WriteAs::PrivateRecord, false);
}

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return IdentityFrom(info);
}

std::uint64_t RegularFileSize(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw FileError::OfSystemError(path, "cannot open", errno);
    if (!S_ISREG(info.st_mode))
        throw NotAFile(path, info.st_mode);
    return static_cast<std::uint64_t>(info.st_size);
}

std::string ReadFileHead(const std::string& path, std::size_t limit, Links links)
{
    // Nothing but a regular file is opened: opening a device may do more
    // than read it.
    struct stat before {};
    if ((links == Links::Follow ? stat(path.c_str(), &before) : lstat(path.c_str(), &before)) != 0)
        throw FileError::OfSystemError(path, "cannot open", errno);
    if (S_ISLNK(before.st_mode))
        throw FileError(path, "is a symbolic link, not a file (not followed)");
    if (!S_ISREG(before.st_mode))
        throw NotAFile(path, before.st_mode);
    // Non-blocking: should a FIFO take the file's place after the check,
    // opening it does not wait for a writer.
    const Descriptor file(
        open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0)));
    if (file.Get() < 0)
        throw FileError::OfSystemError(path, "cannot open", errno);
    struct stat info {};
    if (fstat(file.Get(), &info) != 0)
        throw FileError::OfSystemError(path, "cannot read", errno);
    if (!S_ISREG(info.st_mode))
        throw NotAFile(path, info.st_mode);
    // Room for what the file holds and a byte more (a file that grew shows
    // as longer), never more than asked.
    const std::uint64_t expected = static_cast<std::uint64_t>(info.st_size) + 1;
    std::string bytes(expected < limit ? static_cast<std::size_t>(expected) : limit, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(file.Get(), &bytes[done], bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError::OfSystemError(path, "cannot read", errno);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

int ReadAt(int fd, void* buffer, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd, static_cast<char*>(buffer) + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : -1;
        done += static_cast<std::size_t>(got);
    }
    return 0;
}
