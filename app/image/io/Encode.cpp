#include "image/io/Encode.h"

#include <OpenImageIO/filesystem.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/PixelArrays.h"
#include "image/io/LibraryHeaders.h"
#include "messages/Failure.h"
#include "messages/LibraryMessages.h"

namespace {

// The library's vector output, readable too: writers may read back what
// they wrote while they finish a file.
class MemoryOutput : public OIIO::Filesystem::IOVecOutput {
public:
    size_t read(void* buffer, size_t size) override
    {
        const size_t got = pread(buffer, size, m_pos);
        m_pos += static_cast<int64_t>(got);
        return got;
    }
    size_t pread(void* buffer, size_t size, int64_t offset) override
    {
        const std::vector<unsigned char>& bytes = this->buffer();
        if (offset < 0 || static_cast<uint64_t>(offset) >= bytes.size())
            return 0;
        const size_t count = std::min(size, bytes.size() - static_cast<size_t>(offset));
        std::memcpy(buffer, bytes.data() + offset, count);
        return count;
    }
};

// A file that lives in memory only, with a name the library can open.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& path) : fd_(memfd_create("veldra-encoded", MFD_CLOEXEC))
    {
        if (fd_ < 0)
            throw FileError::OfSystemError(path, "cannot encode", errno);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string Name() const { return "/proc/self/fd/" + std::to_string(fd_); }

    // Hands the file's bytes to `deliver` from a read-only mapping of it,
    // so that they are not held a second time.
    void Deliver(const std::string& path, const EncodedBytes& deliver) const
    {
        struct stat info {};
        if (fstat(fd_, &info) != 0)
            throw FileError::OfSystemError(path, "cannot encode", errno);
        const std::size_t size = static_cast<std::size_t>(info.st_size);
        if (size == 0) {
            deliver(nullptr, 0);
            return;
        }
        void* bytes = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0);
        if (bytes == MAP_FAILED)
            throw FileError::OfSystemError(path, "cannot encode", errno);
        struct Unmap {
            void* at;
            std::size_t size;
            ~Unmap() { munmap(at, size); }
        } unmap{bytes, size};
        deliver(static_cast<const unsigned char*>(bytes), size);
    }

private:
    int fd_;
};

// Rows handed to the writer at a time when they are converted here.
constexpr int kBandRows = 64;

bool AllHalf(const OIIO::ImageSpec& header)
{
    for (int channel = 0; channel < header.nchannels; ++channel)
        if (header.channelformat(channel) != OIIO::TypeDesc::HALF)
            return false;
    return true;
}

// Half rows, converted here a band at a time through a table, much faster
// than the library converts each value, to the same halves.
bool WriteHalfRows(OIIO::ImageOutput& output, const OIIO::ImageSpec& header, const std::uint16_t* pixels,
                   std::size_t stride)
{
    const std::size_t width = static_cast<std::size_t>(header.width);
    std::vector<std::uint16_t> band(width * header.nchannels * std::min(header.height, kBandRows));
    for (int first = 0; first < header.height; first += kBandRows) {
        const int rows = std::min(kBandRows, header.height - first);
        SixteenBitsToHalves(pixels + first * width * stride, stride, header.nchannels, rows * width, band.data());
        if (!output.write_scanlines(header.y + first, header.y + first + rows, header.z, OIIO::TypeDesc::HALF,
                                    band.data()))
            return false;
    }
    return true;
}

// Writes the pixels of the picture `output` was just opened for with
// `header`.
bool WritePixels(OIIO::ImageOutput& output, const OIIO::ImageSpec& header, const EncodedPicture& picture)
{
    // 16-bit values become halves here only where the writer stores half
    // values as they are: some (TIFF) store float values instead, converted
    // from the 16-bit ones.
    if (picture.type == OIIO::TypeDesc::UINT16 && header.tile_width == 0 && AllHalf(output.spec()))
        return WriteHalfRows(output, header, static_cast<const std::uint16_t*>(picture.pixels),
                             picture.stride == OIIO::AutoStride
                                 ? static_cast<std::size_t>(header.nchannels)
                                 : static_cast<std::size_t>(picture.stride) / sizeof(std::uint16_t));
    return output.write_image(picture.type, picture.pixels, picture.stride);
}

bool Write(OIIO::ImageOutput& output, const std::string& name, const std::vector<EncodedPicture>& pictures)
{
    std::vector<OIIO::ImageSpec> headers;
    for (const EncodedPicture& picture : pictures)
        headers.push_back(LibraryHeaderOf(picture.header));
    if (pictures.size() == 1)
        return output.open(name, headers[0]) && WritePixels(output, headers[0], pictures[0]) && output.close();
    // Formats that hold several pictures are told them all first.
    if (!output.open(name, static_cast<int>(headers.size()), headers.data()))
        return false;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (i > 0 && !output.open(name, headers[i], OIIO::ImageOutput::AppendSubimage))
            return false;
        if (!WritePixels(output, headers[i], pictures[i]))
            return false;
    }
    return output.close();
}

}  // namespace

void EncodeInMemory(OIIO::ImageOutput& output, const std::string& path, const std::vector<EncodedPicture>& pictures,
                    const EncodedBytes& deliver)
{
    LibraryMessages messages;
    // On failure the writer is closed here, while what it writes to still
    // exists, rather than by its destructor.
    auto failure = [&] {
        const FileError failed(path, "cannot write: " + messages.OneLine(output.geterror(), "the encoder failed"));
        output.close();
        output.set_ioproxy(nullptr);
        return failed;
    };
    // A writer that wrote nothing did not write the file.
    const auto checked = [&](const unsigned char* bytes, std::size_t size) {
        if (size == 0)
            throw FileError(path, "cannot write: the encoder wrote nothing");
        deliver(bytes, size);
    };
    // The TIFF writer of this library version loses its first directory
    // when it adds Exif data through an I/O proxy, and the OpenEXR writer
    // writes a file of several parts by its name, past any proxy: they get
    // a file in memory.
    if (std::string(output.format_name()) == "tiff" || pictures.size() > 1) {
        const MemoryFile file(path);
        if (!Write(output, file.Name(), pictures))
            throw failure();
        file.Deliver(path, checked);
        return;
    }
    // The others write through a proxy, on the real name (some choose their
    // codec by it).
    MemoryOutput encoded;
    output.set_ioproxy(&encoded);
    if (!Write(output, path, pictures))
        throw failure();
    output.set_ioproxy(nullptr);
    checked(encoded.buffer().data(), encoded.buffer().size());
}
