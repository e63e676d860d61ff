// show-version-info FILE: what Windows reads from FILE's version resource,
// one "Name=value" a line, through the calls Explorer's Details tab uses.
// Exits 1 when the file has no version resource.
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: show-version-info FILE\n");
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, block.data())) {
        std::fprintf(stderr, "show-version-info: no version resource (error %lu)\n", GetLastError());
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        std::printf("FileVersionNumbers=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                    HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        std::printf("FileType=%s\n", fixed->dwFileType == VFT_DLL ? "dll" : "other");
    }
    for (const wchar_t* name : {L"FileDescription", L"FileVersion", L"ProductName", L"ProductVersion",
                                L"LegalCopyright", L"OriginalFilename", L"CompanyName"}) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value)
            std::printf("%ls=%ls\n", name, value);
    }
    return 0;
}
