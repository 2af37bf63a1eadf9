// The notification-area icon on a system whose tray calls its programs back
// by window message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvatek::platform {

// The notification-area icon where the system's tray is a service that
// calls its programs back by window message (Windows): one icon, added when
// made and gone with the object. Only a right-button press and a left double
// click are reported. Elsewhere addTrayIcon gives null: the toolkit's tray
// serves there.
enum class TrayEvent { RightButtonDown, LeftDoubleClick };
struct TrayImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, not premultiplied, rows top down
};
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // The hidden window the tray calls back; it never shows.
    virtual std::uintptr_t window() const = 0;
    // Whether the tray took the icon (at log-on it may come later).
    virtual bool added() const = 0;
    // Lets a menu popped up from the icon close when the user clicks elsewhere.
    virtual void takeForeground() = 0;
};
// `image` draws the icon at the size the tray asks for; `onEvent` runs on the
// window thread.
std::unique_ptr<TrayIcon> addTrayIcon(
    const std::function<TrayImage(int pixels)>& image, const std::string& tip, std::function<void(TrayEvent)> onEvent);

} // namespace corvatek::platform
