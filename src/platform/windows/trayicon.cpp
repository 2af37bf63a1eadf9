// The notification-area icon on Windows: a hidden window of its own that the
// shell calls back with message 1025, the mouse event in the second parameter.
#include "platform/trayicon.h"

#include "wide.h"

#include <shellapi.h>

#include <cstring>

namespace corvatek::platform {
namespace {

constexpr UINT kTrayCallback = WM_USER + 1;
constexpr UINT kIconId = 1;
constexpr const wchar_t* kWindowClass = L"Corvatek tray host";

struct BitmapCloser {
    HBITMAP bitmap;
    ~BitmapCloser()
    {
        if (bitmap)
            ::DeleteObject(bitmap);
    }
};

HICON iconFrom(const TrayImage& image)
{
    if (image.width <= 0 || image.height <= 0 || image.argb.size() != std::size_t(image.width) * image.height)
        return nullptr;
    BITMAPV5HEADER header {};
    header.bV5Size = sizeof header;
    header.bV5Width = image.width;
    header.bV5Height = -image.height; // top down, as the rows come
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    const BitmapCloser color {
        ::CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0)};
    ::ReleaseDC(nullptr, screen);
    // The alpha channel shapes the icon; the mask only has to exist.
    const BitmapCloser mask {::CreateBitmap(image.width, image.height, 1, 1, nullptr)};
    if (!color.bitmap || !mask.bitmap || !bits)
        return nullptr;
    // 0xAARRGGBB in memory is the B, G, R, A bytes such a bitmap holds.
    std::memcpy(bits, image.argb.data(), image.argb.size() * sizeof(std::uint32_t));
    ICONINFO info {};
    info.fIcon = TRUE;
    info.hbmMask = mask.bitmap;
    info.hbmColor = color.bitmap;
    return ::CreateIconIndirect(&info);
}

class WindowsTrayIcon final : public TrayIcon {
public:
    WindowsTrayIcon(HICON icon, const std::string& tip, std::function<void(TrayEvent)> onEvent)
        : icon_(icon), onEvent_(std::move(onEvent))
    {
        window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Corvatek", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
            ::GetModuleHandleW(nullptr), this);
        // The first record of the tray interface, with its 64-character tip.
        record_.cbSize = NOTIFYICONDATAW_V1_SIZE;
        record_.hWnd = window_;
        record_.uID = kIconId;
        record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        record_.uCallbackMessage = kTrayCallback;
        record_.hIcon = icon_;
        const std::wstring wideTip = windows::wide(tip).substr(0, 63);
        wideTip.copy(record_.szTip, wideTip.size());
        add();
    }

    ~WindowsTrayIcon() override
    {
        // Removed at once rather than left for the shell to notice, which it
        // does only when the mouse passes over the dead icon.
        if (added_)
            ::Shell_NotifyIconW(NIM_DELETE, &record_);
        if (window_)
            ::DestroyWindow(window_);
        if (icon_)
            ::DestroyIcon(icon_);
    }

    std::uintptr_t window() const override { return reinterpret_cast<std::uintptr_t>(window_); }
    bool added() const override { return added_; }
    void takeForeground() override { ::SetForegroundWindow(window_); }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<WindowsTrayIcon*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == kTrayCallback) {
            self->mouse(window, UINT(lParam));
            return 0;
        }
        // A restarted shell forgets every icon and says so to each window.
        static const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
        if (self && taskbarCreated != 0 && message == taskbarCreated)
            self->add();
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

private:
    void add() { added_ = window_ && ::Shell_NotifyIconW(NIM_ADD, &record_); }

    void mouse(HWND window, UINT event)
    {
        if (event != WM_RBUTTONDOWN && event != WM_LBUTTONDBLCLK)
            return;
        onEvent_(event == WM_RBUTTONDOWN ? TrayEvent::RightButtonDown : TrayEvent::LeftDoubleClick);
        // Wakes the host window's thread so that a menu opened by the event
        // closes properly when the user clicks elsewhere.
        ::PostMessageW(window, WM_NULL, 0, 0);
    }

    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    NOTIFYICONDATAW record_ {};
    bool added_ = false;
    std::function<void(TrayEvent)> onEvent_;
};

bool registerWindowClass()
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowsTrayIcon::procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

std::unique_ptr<TrayIcon> addTrayIcon(
    const std::function<TrayImage(int)>& image, const std::string& tip, std::function<void(TrayEvent)> onEvent)
{
    static const bool registered = registerWindowClass();
    if (!registered)
        return nullptr;
    const int pixels = ::GetSystemMetrics(SM_CXSMICON);
    return std::make_unique<WindowsTrayIcon>(iconFrom(image(pixels > 0 ? pixels : 16)), tip, std::move(onEvent));
}

} // namespace corvatek::platform
