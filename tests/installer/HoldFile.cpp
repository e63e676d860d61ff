// hold-file FILE READY: holds FILE as a running 3-D application holds its
// plug-in, mapped as an image, until READY is removed. READY is written once
// the file is held, so that a test knows when to go on.
#include <cstdio>

#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold-file FILE READY\n");
        return 2;
    }
    // Mapped as the loader maps a module, without running it or loading
    // what it imports.
    HMODULE held = LoadLibraryExW(argv[1], nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!held) {
        std::fprintf(stderr, "hold-file: cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold-file: cannot write %ls\n", argv[2]);
        return 1;
    }
    CloseHandle(ready);
    while (GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    FreeLibrary(held);
    return 0;
}
