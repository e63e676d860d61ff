#include "DialogDriver.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "resources/resource.h"

namespace {

using Clock = std::chrono::steady_clock;
// Only against a hang: dialogs appear, fill in and close on events, so no
// normal run, however loaded the machine, waits this long.
constexpr auto kPatience = std::chrono::minutes(2);
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

// The controls of a dialog, its direct children only.
struct Controls {
    HWND dialog;
    std::vector<HWND> found;
};

BOOL CALLBACK AddControl(HWND child, LPARAM lParam)
{
    auto* controls = reinterpret_cast<Controls*>(lParam);
    if (GetAncestor(child, GA_PARENT) == controls->dialog)
        controls->found.push_back(child);
    return TRUE;
}

// Whether the dialog has its controls and every static that shows text
// rather than a picture has its text.
bool TextsShown(HWND dialog)
{
    const std::vector<HWND> controls = ControlsOf(dialog);
    for (HWND control : controls) {
        char name[16] = "";
        GetClassNameA(control, name, sizeof name);
        const LONG type = GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK;
        if (lstrcmpiA(name, "Static") == 0 && type != SS_BITMAP && type != SS_ICON &&
            GetWindowTextLengthA(control) == 0)
            return false;
    }
    return !controls.empty();
}

// Whether the dialog's thread takes a message within a moment: it has
// finished making the dialog and sits in its message loop.
bool Answers(HWND dialog)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) != 0;
}

bool WaitUntilGone(HWND dialog)
{
    return WaitUntil([&] { return !IsWindow(dialog); });
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done)
{
    const auto deadline = Clock::now() + kPatience;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

bool WaitUntilReady(HWND dialog)
{
    return WaitUntil([&] { return !IsWindow(dialog) || (Answers(dialog) && TextsShown(dialog)); }) && IsWindow(dialog);
}

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
    std::atomic<bool> returned{false};
    std::thread driver([&] {
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = FindDialog(opener)) != nullptr || returned; });
        if (!dialog)
            return;
        run.appeared = true;
        if (WaitUntilReady(dialog))
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
    returned = true;
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

std::vector<HWND> ControlsOf(HWND dialog)
{
    Controls controls{dialog, {}};
    EnumChildWindows(dialog, AddControl, reinterpret_cast<LPARAM>(&controls));
    return controls.found;
}

std::string ShownPreviews(HWND dialog)
{
    std::string shown;
    for (int id = IDC_PREVIEW_FIRST; id <= IDC_PREVIEW_LAST; ++id)
        if (IsShown(dialog, id))
            shown += (shown.empty() ? "" : " ") + std::to_string(id);
    return shown;
}
