// A file in memory for the library's writers: they encode into it, and the
// bytes are then written to disk by WholeFile, where every write is
// checked (a writer does not always report a short write). Unlike the
// library's own vector output it can be read back, which the TIFF writer
// does while it finishes a file.
#pragma once

#include <OpenImageIO/filesystem.h>

#include <vector>

class MemoryOutput : public OIIO::Filesystem::IOVecOutput {
public:
    MemoryOutput() = default;

    size_t read(void* buffer, size_t size) override;
    size_t pread(void* buffer, size_t size, int64_t offset) override;
};
