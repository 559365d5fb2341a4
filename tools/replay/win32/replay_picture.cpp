// The picture of the graphics window's client area, read from the window as the screen shows
// it, once the program's own paint is known to have reached it.
//
// Reading another program's window reads what the window system holds for it: under Wine the X
// server's pixels, where a window on top covers it and the program's drawing arrives only when
// the program next flushes. So each reading is one round: the tool raises the window above the
// others, paints its client area in a marker colour and reads it back (all marker, or something
// covers it), asks the window to repaint and reads until the marker has been replaced. Two
// rounds in a row with different markers that give the same picture show the program's own
// pixels: a pixel not yet repainted would show the round's marker, which differs between them.
#include "tools/replay/win32/replay_win32.h"

// ---- Constants ----

namespace {

const COLORREF MARKERS[2] = {RGB(254, 1, 253), RGB(1, 254, 2)};
constexpr DWORD POLL_MS = 1;          // pause between two readings
constexpr DWORD ROUND_WAIT_MS = 2000; // longest wait for the marker to be replaced in one round

// ---- Types ----

// A 32-bit top-down bitmap of the client area's size, selected into a memory device context.
class Canvas {
  public:
    Canvas(HDC window_dc, int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(window_dc);
        bitmap_ = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (dc_ != nullptr && bitmap_ != nullptr)
            previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (previous_ != nullptr)
            SelectObject(dc_, previous_);
        if (bitmap_ != nullptr)
            DeleteObject(bitmap_);
        if (dc_ != nullptr)
            DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    bool ok() const { return previous_ != nullptr; }

    // Copies the window's client area into the bitmap.
    bool read(HDC window_dc) {
        const bool copied = BitBlt(dc_, 0, 0, width_, height_, window_dc, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        return copied;
    }

    // Whether every pixel has the colour.
    bool all(COLORREF color) const {
        const uint32_t pixel =
            (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
        const uint32_t *p = static_cast<const uint32_t *>(bits_);
        for (int i = 0; i < width_ * height_; i++)
            if ((p[i] & 0xFFFFFF) != pixel)
                return false;
        return true;
    }

    RgbPicture picture() const {
        RgbPicture picture;
        picture.width = width_;
        picture.height = height_;
        picture.rgb.resize(static_cast<size_t>(width_) * height_ * 3);
        const uint8_t *p = static_cast<const uint8_t *>(bits_);
        for (size_t i = 0, n = static_cast<size_t>(width_) * height_; i < n; i++) {
            picture.rgb[3 * i] = p[4 * i + 2];
            picture.rgb[3 * i + 1] = p[4 * i + 1];
            picture.rgb[3 * i + 2] = p[4 * i];
        }
        return picture;
    }

  private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void *bits_ = nullptr;
};

// ---- Internal functions ----

// Above every window that is not itself kept on top. Asynchronous, so a program that does not
// answer cannot hold the tool. Once covered, the window goes to the bottom first: a window shown
// since the last raise may lie above it on the screen while the window system still has it on
// top, and a raise to where it already is would leave the screen as it is.
void raise_window(HWND window, bool covered) {
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    if (covered)
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, flags);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);
}

// Whether the client area lies wholly on the screen, where it can be read.
bool client_on_screen(HWND window, const RECT &client) {
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    MapWindowPoints(window, nullptr, corners, 2);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return corners[0].x >= left && corners[0].y >= top &&
           corners[1].x <= left + GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
           corners[1].y <= top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
}

// Paints the marker over the client area and reads it back: true if it shows everywhere, that is
// if nothing covers the client area. The program is held meanwhile, so that only a window on
// top, never the program's own drawing, can stop the marker from showing.
bool paint_marker(const Program &program, HDC window_dc, Canvas &canvas, COLORREF marker,
                  const RECT &client) {
    const ProgramHeld held(program);
    HBRUSH brush = CreateSolidBrush(marker);
    FillRect(window_dc, &client, brush);
    DeleteObject(brush);
    return canvas.read(window_dc) && canvas.all(marker);
}

// Asks the window to repaint and reads until the marker has been replaced, or the round's time
// is up (a client area of the marker's colour never changes).
Wait read_repainted(Program &program, HDC window_dc, Canvas &canvas, COLORREF marker,
                    const Deadline &deadline) {
    InvalidateRect(program.window, nullptr, FALSE);
    const Deadline round(ROUND_WAIT_MS);
    for (;;) {
        if ((canvas.read(window_dc) && !canvas.all(marker)) || round.passed())
            return Wait::DONE;
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        Sleep(POLL_MS);
    }
}

} // namespace

// ---- Public functions ----

Wait take_picture(Program &program, const Deadline &deadline, RgbPicture &picture) {
    RECT client;
    GetClientRect(program.window, &client);
    if (client.right <= 0 || client.bottom <= 0 || !client_on_screen(program.window, client))
        return Wait::TIMED_OUT;
    HDC window_dc = GetDC(program.window);
    if (window_dc == nullptr)
        return Wait::TIMED_OUT;
    Wait result = Wait::TIMED_OUT;
    Canvas canvas(window_dc, client.right, client.bottom);
    RgbPicture previous;
    raise_window(program.window, false);
    for (int round = 0; canvas.ok(); round++) {
        if (program_ended(program)) {
            result = Wait::PROGRAM_ENDED;
            break;
        }
        if (deadline.passed())
            break;
        const COLORREF marker = MARKERS[round % 2];
        if (!paint_marker(program, window_dc, canvas, marker, client)) {
            // Covered: raise the window again, and start the pair of rounds afresh.
            raise_window(program.window, true);
            previous = RgbPicture{};
            Sleep(POLL_MS);
            continue;
        }
        result = read_repainted(program, window_dc, canvas, marker, deadline);
        if (result != Wait::DONE)
            break;
        RgbPicture current = canvas.picture();
        if (current == previous) {
            picture = current;
            break;
        }
        previous = current;
        result = Wait::TIMED_OUT;
    }
    ReleaseDC(program.window, window_dc);
    return result;
}

void lower_window(HWND window) {
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}
