#include "ParamFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <windows.h>

bool ParamFileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ParamBlock ReadParamFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw ParamFileError(path + ": cannot open the parameter file");
    // One byte more than a block tells a longer file from a block.
    std::vector<char> bytes(sizeof(ParamBlock) + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad())
        throw ParamFileError(path + ": cannot read the parameter file");
    if (file.gcount() != static_cast<std::streamsize>(sizeof(ParamBlock)))
        throw ParamFileError(path + ": not a parameter file: " +
                             (file.gcount() > static_cast<std::streamsize>(sizeof(ParamBlock))
                                  ? std::string("longer than")
                                  : std::to_string(file.gcount()) + " bytes, not") +
                             " 20 bytes");
    ParamBlock block;
    std::copy(bytes.begin(), bytes.begin() + sizeof block, block.begin());
    return block;
}

void WriteParamFile(const std::string& path, const ParamBlock& block)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        if (!file.flush()) {
            file.close();
            std::remove(temporary.c_str());
            throw ParamFileError(temporary + ": cannot write the parameter file");
        }
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        std::remove(temporary.c_str());
        throw ParamFileError(path + ": cannot replace the parameter file (error " + std::to_string(GetLastError()) +
                             ")");
    }
}
