// Asks the running graphics window where it is: waits up to the given number of milliseconds
// (default 10000) for the window, then prints one line
//   client_x client_y client_width client_height window_left window_top window_right window_bottom
// in screen coordinates, and exits with 0; exits with 1 if no window appeared in time.
// With "close" after the time, it then closes the window as its close box would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    const DWORD timeout_ms = argc > 1 ? static_cast<DWORD>(strtoul(argv[1], nullptr, 10)) : 10000;
    const bool close = argc > 2 && strcmp(argv[2], "close") == 0;
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while ((window = FindWindowA("DrawWndClass", "ZEPHA Graphics")) == nullptr ||
           !IsWindowVisible(window)) {
        if (GetTickCount() - start > timeout_ms)
            return 1;
        Sleep(50); // polling interval while the program starts
    }
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    RECT client, frame;
    GetClientRect(window, &client);
    GetWindowRect(window, &frame);
    printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom,
           frame.left, frame.top, frame.right, frame.bottom);
    if (close)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}
