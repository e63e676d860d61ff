// Plays a user against a real modal dialog: the test's thread opens the
// dialog and sits in its modal loop, while a second thread finds the dialog
// and clicks, types and presses keys in it through window messages.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// The result of a dialog that the driver had to end from outside.
constexpr int kForcedClose = -3;

struct DialogRun {
    int result = -2;          // what the opening call returned
    bool appeared = false;    // the dialog showed up within the time allowed
    bool userClosed = false;  // the user's actions closed it (the driver did not have to)
};

// Calls `open` on this thread; `user` runs on a second thread with the
// dialog's window once it is visible, answers messages and shows all its
// texts. When `open` returns without a dialog the user is skipped. A dialog
// the user leaves open is cancelled, or ended with kForcedClose (it and any
// dialog opened over it) when it ignores Cancel, so a failing test never
// hangs.
DialogRun RunDialog(const std::function<int()>& open, const std::function<void(HWND)>& user);

// Waits until `done` is true, looking every few milliseconds, however slow
// the machine; false only when a few minutes pass without it, which no
// working dialog takes: the limit keeps a fault from hanging the test.
bool WaitUntil(const std::function<bool()>& done);

// Waits until `dialog` (of this process or another) answers messages and
// every text control it has shows its text; false when it never does.
bool WaitUntilReady(HWND dialog);

// A visible dialog of `thread` other than `except`, or null.
HWND FindDialog(DWORD thread, HWND except = nullptr);
// A visible dialog of another process, or null.
HWND FindDialogOfProcess(DWORD process);

// What a user does, from the driver's thread.
void Click(HWND dialog, int id);                          // a button, with the mouse
void Type(HWND dialog, int id, const std::string& text);  // replaces an edit field's text, key by key
void Focus(HWND dialog, int id);                          // as the Tab key would
void PressKey(HWND dialog, WPARAM key);                   // VK_RETURN, VK_ESCAPE, ... on the focused control
void PressCloseBox(HWND dialog);

// What a user sees.
bool IsShown(HWND dialog, int id);  // the control's own visibility
bool IsChecked(HWND dialog, int id);
std::string TextOf(HWND window);
// The dialog's controls, listed at once rather than walked one after the
// other while the dialog may still be changing them.
std::vector<HWND> ControlsOf(HWND dialog);
// The ids of the preview statics that are shown, in ascending order.
std::string ShownPreviews(HWND dialog);
