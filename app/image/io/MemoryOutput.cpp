#include "image/io/MemoryOutput.h"

#include <cstring>

size_t MemoryOutput::read(void* buffer, size_t size)
{
    const size_t got = pread(buffer, size, m_pos);
    m_pos += static_cast<int64_t>(got);
    return got;
}

size_t MemoryOutput::pread(void* buffer, size_t size, int64_t offset)
{
    const std::vector<unsigned char>& bytes = this->buffer();
    if (offset < 0 || static_cast<uint64_t>(offset) >= bytes.size())
        return 0;
    const size_t count = std::min(size, bytes.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, bytes.data() + offset, count);
    return count;
}
