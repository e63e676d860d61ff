#include "DialogDriver.h"

#include <chrono>
#include <thread>
#include <vector>

#include "resources/resource.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAppearTimeout = std::chrono::seconds(10);
constexpr auto kCloseTimeout = std::chrono::seconds(5);
constexpr auto kPoll = std::chrono::milliseconds(10);

// A visible dialog other than `except`, of `process` unless that is 0.
struct Search {
    DWORD process;
    HWND except;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (window != search->except && (search->process == 0 || process == search->process) &&
        std::string(name) == "#32770" && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialog(DWORD thread)
{
    const auto deadline = Clock::now() + kAppearTimeout;
    while (Clock::now() < deadline) {
        if (HWND dialog = FindDialog(thread))
            return dialog;
        std::this_thread::sleep_for(kPoll);
    }
    return nullptr;
}

bool WaitUntilGone(HWND dialog)
{
    const auto deadline = Clock::now() + kCloseTimeout;
    while (Clock::now() < deadline) {
        if (!IsWindow(dialog))
            return true;
        std::this_thread::sleep_for(kPoll);
    }
    return !IsWindow(dialog);
}

}  // namespace

HWND FindDialog(DWORD thread, HWND except)
{
    Search search{0, except};
    EnumThreadWindows(thread, FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindDialogOfProcess(DWORD process)
{
    Search search{process, nullptr};
    EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogRun RunDialog(const std::function<int()>& open, const std::function<void(HWND)>& user)
{
    DialogRun run;
    const DWORD opener = GetCurrentThreadId();
    std::thread driver([&] {
        HWND dialog = WaitForDialog(opener);
        if (!dialog)
            return;
        run.appeared = true;
        user(dialog);
        run.userClosed = WaitUntilGone(dialog);
        if (!run.userClosed) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            if (WaitUntilGone(dialog))
                return;
            // A dialog that no longer answers Cancel is ended from outside.
            for (HWND stuck = dialog; stuck; stuck = FindDialog(opener)) {
                EndDialog(stuck, kForcedClose);
                WaitUntilGone(stuck);
            }
        }
    });
    run.result = open();
    driver.join();
    return run;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Type(HWND dialog, int id, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, id);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, WM_CHAR, VK_BACK, 1);
    for (char key : text)
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(key), 1);
}

void Focus(HWND dialog, int id)
{
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

void PressKey(HWND dialog, WPARAM key)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void PressCloseBox(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool IsShown(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

bool IsChecked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string TextOf(HWND window)
{
    std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1);
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string ShownPreviews(HWND dialog)
{
    std::string shown;
    for (int id = IDC_PREVIEW_FIRST; id <= IDC_PREVIEW_LAST; ++id)
        if (IsShown(dialog, id))
            shown += (shown.empty() ? "" : " ") + std::to_string(id);
    return shown;
}
