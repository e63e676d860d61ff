// Runs the real `veldra` program as a user would, in a scratch folder, and
// makes and reads the pictures it works on. The program is the one built
// beside the test; scratch folders lie in one temporary folder of the test
// process, removed when it ends, so a test run leaves nothing behind
// wherever it is started.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;
    std::string output;  // standard output and error, interleaved
};

// The build's bin folder, which holds the test, veldra and the module, and
// a file in it.
std::string BinFolder();
std::string BinFile(const std::string& name);

// Runs veldra with `arguments`, a shell-quoted command line, in folder
// `folder`.
RunResult RunVeldra(const std::string& folder, const std::string& arguments);

// Runs a shell command line in `folder`, where "$VELDRA" is the program.
RunResult RunInShell(const std::string& folder, const std::string& commandLine);
// Shell words that wait, after `"$VELDRA" ... &`, until a temporary file
// is being written in the current folder or the program has ended.
inline const std::string kWaitForTemporary =
    "while kill -0 $! 2>/dev/null && ! ls -A | grep -q '[.]tmp$'; do sleep 0.01; done; ";

// A fresh, empty folder for one test; returns its absolute path.
std::string ScratchFolder(const std::string& name);

// Pixels as stored: width x height x channels values, alpha never applied.
struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint16_t> values;
};

// A picture whose every channel encodes its coordinates, with some fully
// transparent pixels that still carry colour.
Picture CoordinatePicture(int width, int height, std::uint32_t seed);

// Writes `picture` with its straight alpha, as 16-bit unless `eightBit`.
void WritePicture(const std::string& path, const Picture& picture, bool eightBit = false);
// Reads the file's pixels as 16-bit values without touching alpha; the
// file must be 16-bit.
Picture ReadPicture(const std::string& path);
// The same for a file of any channel format, converted to 16-bit values.
Picture ReadPictureAs16(const std::string& path);
// The file's header: channel format, windows and metadata.
OIIO::ImageSpec ReadHeader(const std::string& path);

// A second user, made for one test and removed when it ends (root only):
// no home, no login, a group of its own.
class OtherUser {
public:
    OtherUser();
    ~OtherUser();
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    // Whether the user was made, and if not, why.
    bool Made() const { return uid_ >= 0; }
    const std::string& Why() const { return why_; }
    const std::string& Name() const { return name_; }
    int Uid() const { return uid_; }
    int Gid() const { return gid_; }

private:
    std::string name_, why_;
    int uid_ = -1, gid_ = -1;
};

std::string FileBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
// Names of the entries of `folder`, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);
// The temporary files (".tmp" in the name) left in `folder`.
std::vector<std::string> Leftovers(const std::string& folder);

bool Has(const std::string& text, const std::string& part);
// Warnings aside, the run said one line, and it names `text`.
bool OneLineNaming(const RunResult& run, const std::string& text);
