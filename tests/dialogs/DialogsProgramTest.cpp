// veldra-dialogs, run as a person runs it: a separate process whose dialog the
// test finds and operates, then the parameter file is checked.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "filter/RotationParams.h"
#include "resources/resource.h"

namespace {

using Bytes = std::vector<char>;

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    bool dialogAppeared = false;
    std::string errors;  // what the program wrote to stderr
};

Bytes ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const void* data, std::size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(static_cast<const char*>(data), size);
}

Bytes BlockBytes(const RotationParams& params)
{
    const char* raw = reinterpret_cast<const char*>(&params);
    return Bytes(raw, raw + sizeof params);
}

// Runs veldra-dialogs with `argument`; `user` operates its dialog if one
// appears before the program ends (a program the user leaves running is
// ended, failing the test).
ProgramRun RunDialogsProgram(const std::string& argument, const std::function<void(HWND)>& user)
{
    ProgramRun run;
    const std::string errorsPath = "veldra-dialogs-errors.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE errors = CreateFileA(errorsPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = errors;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command = "veldra-dialogs.exe \"" + argument + "\"";
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(errors);
        ADD_FAILURE() << "cannot start veldra-dialogs.exe";
        return run;
    }
    CloseHandle(errors);

    HWND dialog = nullptr;
    const auto ended = [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; };
    WaitUntil([&] { return (dialog = FindDialogOfProcess(process.dwProcessId)) != nullptr || ended(); });
    if (dialog) {
        run.dialogAppeared = true;
        if (WaitUntilReady(dialog))
            user(dialog);
    }
    if (!WaitUntil(ended)) {
        ADD_FAILURE() << "veldra-dialogs did not end";
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const Bytes text = ReadAll(errorsPath);
    run.errors.assign(text.begin(), text.end());
    std::remove(errorsPath.c_str());
    return run;
}

class DialogsProgram : public testing::Test {
protected:
    void SetUp() override { std::remove(path.c_str()); }
    void TearDown() override
    {
        std::remove(path.c_str());
        WIN32_FIND_DATAA found{};
        const HANDLE search = FindFirstFileA(".veldra-*.tmp", &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "temporary file left behind: " << found.cFileName;
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }
    const std::string path = "dialogs-program-test.bin";
};

}  // namespace

// A missing file is made with the defaults; OK saves the choice over it.
TEST_F(DialogsProgram, CreatesTheFileAndSavesOnOk)
{
    Bytes whileOpen;
    const ProgramRun run = RunDialogsProgram(path, [&](HWND dialog) {
        whileOpen = ReadAll(path);
        Click(dialog, AxisZ);
        Type(dialog, IDC_END_EDIT, "90");
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(run.dialogAppeared);
    EXPECT_EQ(run.exitCode, 0u) << run.errors;
    EXPECT_EQ(whileOpen, BlockBytes(kDefaultRotationParams));
    EXPECT_EQ(ReadAll(path), BlockBytes({VELDRA_TAG, AxisZ, PivotCenter, 0.0f, 90.0f}));
}

// Cancel leaves an existing file exactly as it was.
TEST_F(DialogsProgram, CancelLeavesTheFile)
{
    const RotationParams stored{VELDRA_TAG, AxisY, PivotLower, 3.0f, 4.0f};
    WriteAll(path, &stored, sizeof stored);
    const ProgramRun run = RunDialogsProgram(path, [&](HWND dialog) {
        Click(dialog, AxisX);
        PressCloseBox(dialog);
    });
    EXPECT_TRUE(run.dialogAppeared);
    EXPECT_EQ(run.exitCode, 0u) << run.errors;
    EXPECT_EQ(ReadAll(path), BlockBytes(stored));
}

// Files that are not a block of this filter are refused before any dialog,
// with a message that names the file, and are not touched.
TEST_F(DialogsProgram, RefusesFilesThatAreNotItsBlock)
{
    RotationParams foreign = kDefaultRotationParams;
    foreign.tag ^= 1;
    const std::vector<Bytes> contents = {Bytes(7, 'x'), Bytes(21, 0), BlockBytes(foreign)};
    for (const Bytes& content : contents) {
        WriteAll(path, content.data(), content.size());
        const ProgramRun run = RunDialogsProgram(path, [](HWND dialog) { Click(dialog, IDOK); });
        EXPECT_FALSE(run.dialogAppeared);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_NE(run.errors.find(path), std::string::npos) << run.errors;
        EXPECT_EQ(ReadAll(path), content);
    }
}

// The about box opens on request and Escape ends the program normally.
TEST_F(DialogsProgram, ShowsTheAboutBox)
{
    std::string caption;
    const ProgramRun run = RunDialogsProgram("--about", [&](HWND dialog) {
        caption = TextOf(dialog);
        PressKey(dialog, VK_ESCAPE);
    });
    EXPECT_TRUE(run.dialogAppeared);
    EXPECT_EQ(run.exitCode, 0u) << run.errors;
    EXPECT_EQ(caption, "About Image Veldra");
}
