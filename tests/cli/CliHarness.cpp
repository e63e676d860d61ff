#include "CliHarness.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The test process's own temporary folder, made when first asked for and
// removed with everything in it when the process ends.
class ScratchRoot {
public:
    const fs::path& Path()
    {
        if (path_.empty()) {
            std::string pattern = (fs::temp_directory_path() / "veldra-tests-XXXXXX").string();
            if (!mkdtemp(&pattern[0]))
                throw std::runtime_error("cannot make a temporary folder from " + pattern);
            path_ = pattern;
        }
        return path_;
    }
    ~ScratchRoot()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }

private:
    fs::path path_;
};

ScratchRoot scratchRoot;

}  // namespace

OtherUser::OtherUser() : name_("veldra-t" + std::to_string(getpid()))
{
    const RunResult made = RunInShell(".", "useradd --system --no-create-home --user-group --shell /usr/sbin/nologin " +
                                               name_ + " && id -u " + name_ + " && id -g " + name_);
    int uid = -1, gid = -1;
    if (made.exitCode != 0 || std::sscanf(made.output.c_str(), "%d %d", &uid, &gid) != 2) {
        why_ = "cannot make a second user: " + made.output;
        return;
    }
    uid_ = uid;
    gid_ = gid;
}

OtherUser::~OtherUser()
{
    if (Made())
        RunInShell(".", "userdel " + name_);
}

std::string BinFolder() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

std::string BinFile(const std::string& name) { return (fs::path(BinFolder()) / name).string(); }

RunResult RunVeldra(const std::string& folder, const std::string& arguments)
{
    return RunInShell(folder, "\"$VELDRA\" " + arguments);
}

RunResult RunInShell(const std::string& folder, const std::string& commandLine)
{
    const std::string command = "cd '" + folder + "' && VELDRA='" + BinFile("veldra") + "' && (" + commandLine +
                                ") 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        result.output.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ScratchFolder(const std::string& name)
{
    const fs::path folder = scratchRoot.Path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string();
}

Picture CoordinatePicture(int width, int height, std::uint32_t seed)
{
    Picture picture{width, height, 4, {}};
    picture.values.reserve(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t mix = (x * 7919u + y * 104729u + seed * 31u) & 0xFFFF;
            picture.values.push_back(static_cast<std::uint16_t>(x * 2053 + seed));
            picture.values.push_back(static_cast<std::uint16_t>(y * 3001 + seed * 3));
            picture.values.push_back(static_cast<std::uint16_t>(mix));
            // Every third pixel fully transparent, the rest varied.
            picture.values.push_back((x + y) % 3 == 0 ? 0 : static_cast<std::uint16_t>(mix | 1));
        }
    }
    return picture;
}

void WritePicture(const std::string& path, const Picture& picture, bool eightBit)
{
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
        throw std::runtime_error("cannot create " + path);
    OIIO::ImageSpec header(picture.width, picture.height, picture.channels,
                           eightBit ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
    header.attribute("oiio:UnassociatedAlpha", 1);
    header.attribute("compression", "none");
    if (eightBit) {
        std::vector<std::uint8_t> bytes(picture.values.begin(), picture.values.end());
        if (!output->open(path, header) || !output->write_image(OIIO::TypeDesc::UINT8, bytes.data()))
            throw std::runtime_error("cannot write " + path);
    } else if (!output->open(path, header) || !output->write_image(OIIO::TypeDesc::UINT16, picture.values.data())) {
        throw std::runtime_error("cannot write " + path);
    }
    output->close();
}

namespace {

std::unique_ptr<OIIO::ImageInput> OpenPicture(const std::string& path)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw std::runtime_error("cannot read " + path);
    return input;
}

Picture ReadValues(const std::string& path, bool only16Bit)
{
    auto input = OpenPicture(path);
    const OIIO::ImageSpec& header = input->spec();
    Picture picture{header.width, header.height, header.nchannels, {}};
    picture.values.resize(static_cast<std::size_t>(header.width) * header.height * header.nchannels);
    if ((only16Bit && header.format != OIIO::TypeDesc::UINT16) ||
        !input->read_image(0, 0, 0, header.nchannels, OIIO::TypeDesc::UINT16, picture.values.data()))
        throw std::runtime_error(path + " is not a 16-bit picture");
    return picture;
}

}  // namespace

Picture ReadPicture(const std::string& path) { return ReadValues(path, true); }

Picture ReadPictureAs16(const std::string& path) { return ReadValues(path, false); }

OIIO::ImageSpec ReadHeader(const std::string& path) { return OpenPicture(path)->spec(); }

std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

bool Exists(const std::string& path) { return fs::exists(path); }

void MakeFolder(const std::string& path) { fs::create_directories(path); }

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Leftovers(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : FolderEntries(folder))
        if (Has(name, ".tmp"))
            found.push_back(name);
    return found;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool OneLineNaming(const RunResult& run, const std::string& text)
{
    std::string said;
    std::size_t start = 0;
    while (start < run.output.size()) {
        const std::size_t end = run.output.find('\n', start);
        const std::string line = run.output.substr(start, end - start);
        start = end == std::string::npos ? run.output.size() : end + 1;
        if (line.rfind("veldra: warning: ", 0) != 0)
            said += line + "\n";
    }
    return Has(said, "veldra: " + text) && said.find('\n') == said.size() - 1;
}
