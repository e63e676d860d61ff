#include "core/SpinnerControl.h"

#include <cfloat>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/CustomControls.h"
#include "core/FloatText.h"

const char kSpinnerClassName[] = "SpinnerControl";

namespace {

constexpr float kStep = 1.0f;
// Holding an arrow down repeats the step, after a pause, as a scroll bar does.
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 400;
constexpr UINT kRepeatMs = 50;
int interfacesHeld = 0;

class Spinner final : public ISpinnerControl {
public:
    float ReadValue() override
    {
        if (edit_) {
            float typed;
            if (ParseFloat(EditText().c_str(), &typed))
                value_ = Clamp(typed);
        }
        return value_;
    }

    void AssignValue(float value, int) override
    {
        value_ = Clamp(value);
        Show();
    }

    void AssignLimits(float minimum, float maximum, int limitCurrent) override
    {
        if (minimum > maximum)
            std::swap(minimum, maximum);
        minimum_ = minimum;
        maximum_ = maximum;
        if (limitCurrent) {
            value_ = Clamp(value_);
            Show();
        }
    }

    void BindEdit(HWND edit, int) override
    {
        edit_ = edit;
        Show();
    }

    // One arrow press: +1 up, -1 down, from what the field shows now.
    void Step(int direction)
    {
        value_ = Clamp(ReadValue() + direction * kStep);
        Show();
    }

    void HandOut()
    {
        ++handedOut_;
        ++interfacesHeld;
    }

    // Deletes the spinner once neither its window nor any caller holds it.
    void GiveBack()
    {
        if (handedOut_ == 0)
            return;
        --handedOut_;
        --interfacesHeld;
        if (handedOut_ == 0 && windowGone_)
            delete this;
    }

    void WindowDestroyed()
    {
        windowGone_ = true;
        edit_ = nullptr;
        if (handedOut_ == 0)
            delete this;
    }

private:
    float Clamp(float value) const { return value < minimum_ ? minimum_ : value > maximum_ ? maximum_ : value; }

    std::string EditText() const
    {
        std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(edit_)) + 1);
        GetWindowTextA(edit_, text.data(), static_cast<int>(text.size()));
        return text.data();
    }

    void Show() const
    {
        if (edit_ && IsWindow(edit_))
            SetWindowTextA(edit_, FormatFloat(value_).c_str());
    }

    HWND edit_ = nullptr;
    float value_ = 0.0f;
    float minimum_ = -FLT_MAX;
    float maximum_ = FLT_MAX;
    int handedOut_ = 0;
    bool windowGone_ = false;
};

Spinner* SpinnerOf(HWND window) { return reinterpret_cast<Spinner*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

// +1 for a point in the upper arrow, -1 for the lower one.
int ArrowAt(HWND window, LPARAM point)
{
    RECT client;
    GetClientRect(window, &client);
    return static_cast<short>(HIWORD(point)) < (client.top + client.bottom) / 2 ? +1 : -1;
}

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    RECT up = client;
    up.bottom = (client.top + client.bottom) / 2;
    RECT down = client;
    down.top = up.bottom;
    DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP);
    DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN);
    if (GetFocus() == window) {
        InflateRect(&client, -1, -1);
        DrawFocusRect(dc, &client);
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK SpinnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        auto* spinner = new (std::nothrow) Spinner;
        if (!spinner)
            return FALSE;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(spinner));
        break;
    }
    case WM_NCDESTROY:
        if (Spinner* spinner = SpinnerOf(window)) {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            spinner->WindowDestroyed();
        }
        break;
    case WM_PAINT: Paint(window); return 0;
    case WM_LBUTTONDOWN:
        SetFocus(window);
        SetCapture(window);
        SpinnerOf(window)->Step(ArrowAt(window, lParam));
        SetTimer(window, kRepeatTimer, kFirstRepeatMs, nullptr);
        return 0;
    case WM_TIMER:
        if (wParam == kRepeatTimer && GetCapture() == window) {
            POINT cursor;
            GetCursorPos(&cursor);
            ScreenToClient(window, &cursor);
            SpinnerOf(window)->Step(ArrowAt(window, MAKELPARAM(cursor.x, cursor.y)));
            SetTimer(window, kRepeatTimer, kRepeatMs, nullptr);
        }
        return 0;
    case WM_LBUTTONUP: ReleaseCapture(); return 0;
    case WM_CAPTURECHANGED: KillTimer(window, kRepeatTimer); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (wParam == VK_UP || wParam == VK_DOWN) {
            SpinnerOf(window)->Step(wParam == VK_UP ? +1 : -1);
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(window, nullptr, TRUE); break;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool IsSpinnerWindow(HWND window)
{
    char name[sizeof kSpinnerClassName + 1] = "";
    return window && GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, kSpinnerClassName) == 0;
}

}  // namespace

bool RegisterSpinnerClass(HINSTANCE owner)
{
    WNDCLASSEXA spinnerClass{};
    spinnerClass.cbSize = sizeof spinnerClass;
    spinnerClass.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    spinnerClass.lpfnWndProc = SpinnerProc;
    spinnerClass.hInstance = owner;
    spinnerClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    spinnerClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    spinnerClass.lpszClassName = kSpinnerClassName;
    return RegisterClassExA(&spinnerClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

ISpinnerControl* GetISpinner(HWND window)
{
    if (!IsSpinnerWindow(window))
        return nullptr;
    Spinner* spinner = SpinnerOf(window);
    if (spinner)
        spinner->HandOut();
    return spinner;
}

void ReleaseISpinner(ISpinnerControl* spinner)
{
    // Every ISpinnerControl comes from GetISpinner, so it is a Spinner.
    if (spinner)
        static_cast<Spinner*>(spinner)->GiveBack();
}

int SpinnerInterfacesHeld() { return interfacesHeld; }
