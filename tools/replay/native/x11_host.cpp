// The X11 host: the program's graphics window through the X server, found among the screen's
// windows by its title and the process that owns it, sent Ctrl+letter, and its client area read
// back; its playback seen through the script file, which the runtime opens at the first
// replayed event and closes when the playback ends.
//
// The keys and the repaint request are events sent to the window (XSendEvent), which reach its
// program alone whatever holds the keyboard, so replays on one display do not disturb each
// other. Reading a window reads the screen: a window on top covers it, and the program's drawing
// is there only once the server has carried out its requests. So each reading is one round, as
// in the Windows tool: with the server grabbed (no other client's requests run meanwhile) the
// tool raises the window, checks that no window covers the client area, paints it in a marker
// colour and reads it back; then it asks the program to repaint and reads, again grabbed and
// uncovered, until the marker has been replaced. Two rounds in a row with different markers
// that give the same picture show the program's own pixels: a pixel not yet repainted would
// show the round's marker, which differs between them. (The runtime's repaint writes each pixel
// of the client area once, with its colour, and paints no background first.) One tool on a
// display takes its picture at a time, so that tools replaying side by side do not raise their
// windows over each other's.
//
// Linux only: the open of the script is seen with inotify, whether it is still open in
// /proc/PID/fd, and the program's descendants in /proc/PID/stat. Xlib is loaded when the host
// is first prepared: a headless replay does without it and the libraries it needs, whose
// loading would be the largest part of the tool's own start.
#include "tools/replay/native/native_hosts.h"

#include "tools/replay/native/native_process.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

// ---- Constants ----

namespace {

const char XLIB_FILE[] = "libX11.so.6";
const char GRAPHICS_TITLE[] = "ZEPHA Graphics";
const char DIALOG_TITLE[] = "ZEPHA_gets";
constexpr int CLIENT_TOP = 25; // the menu bar above the client area
constexpr int CLIENT_WIDTH = 595;
constexpr int CLIENT_HEIGHT = 496;
constexpr int SEARCH_DEPTH = 3; // root, a window manager's frame, its inner parent, the window
const uint32_t MARKERS[2] = {0xFE01FD, 0x01FE02}; // as 0xRRGGBB
constexpr double POLL_MS = 1;                     // pause between two readings
constexpr double ROUND_WAIT_MS = 2000; // longest wait for the marker to be replaced in one round
constexpr int OPEN_ATTEMPTS = 10;      // connections to the X server tried
constexpr double OPEN_PAUSE_MS = 100;  // pause between two of them
constexpr int WAKE_MS = 50;            // longest sleep on the script's file events
constexpr int MAX_ANCESTRY = 64;       // parents followed up from a process to its ancestor

// Xlib's functions that the host calls, by name.
// clang-format off
#define ZEPHA_XLIB_FUNCTIONS(X) \
    X(XCreateGC)                \
    X(XFetchName)               \
    X(XFillRectangle)           \
    X(XFlush)                   \
    X(XFree)                    \
    X(XFreeGC)                  \
    X(XGetImage)                \
    X(XGetWindowAttributes)     \
    X(XGetWindowProperty)       \
    X(XGrabServer)              \
    X(XInternAtom)              \
    X(XKeysymToKeycode)         \
    X(XNextEvent)               \
    X(XOpenDisplay)             \
    X(XPending)                 \
    X(XQueryTree)               \
    X(XRaiseWindow)             \
    X(XSelectInput)             \
    X(XSendEvent)               \
    X(XSetErrorHandler)         \
    X(XTranslateCoordinates)    \
    X(XUngrabServer)            \
    X(XkbKeycodeToKeysym)
// clang-format on

// ---- State ----

void *xlib_library = nullptr; // Xlib, once loaded
// Xlib's functions, found in the library once it is loaded, each of the type its header gives.
struct {
#define ZEPHA_XLIB_POINTER(name) decltype(&::name) name = nullptr;
    ZEPHA_XLIB_FUNCTIONS(ZEPHA_XLIB_POINTER)
#undef ZEPHA_XLIB_POINTER
} xlib;

Display *display = nullptr;
Atom net_wm_pid = None;
std::set<Window> others_windows; // windows that name another process as theirs
int script_watch = -1;           // inotify descriptor watching the script's opens and closes

// ---- Types ----

// One run of the program being replayed.
struct Program {
    ProgramProcess process;   // started as the leader of its own process group
    pid_t window_pid = -1;    // the process that shows the graphics window: pid or a descendant
    unsigned long window = 0; // its graphics window (an X window), once shown
};

// The server grabbed for as long as it lives: no other client's request runs meanwhile.
class ServerGrab {
  public:
    ServerGrab() { xlib.XGrabServer(display); }
    ~ServerGrab() {
        xlib.XUngrabServer(display);
        xlib.XFlush(display);
    }
    ServerGrab(const ServerGrab &) = delete;
    ServerGrab &operator=(const ServerGrab &) = delete;
};

// The turn of one tool on this display to raise its window and read it: tools that took
// pictures at once would raise their windows over each other's, and none would stay on top for
// a whole round. A lock on a file named after the display, released when the process ends.
class PictureTurn {
  public:
    PictureTurn() {
        std::string name = DisplayString(display);
        for (char &c : name)
            if (c == '/' || c == ':')
                c = '_';
        // Beside the X server's own sockets, whatever TMPDIR each tool has; any user that can
        // read the file can lock it.
        const std::string path = "/tmp/.zepha-replay-display" + name + ".lock";
        file_ = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    }
    ~PictureTurn() {
        if (file_ >= 0)
            close(file_);
    }
    PictureTurn(const PictureTurn &) = delete;
    PictureTurn &operator=(const PictureTurn &) = delete;
    // Without a lock file the tool goes ahead alone.
    bool taken() const { return file_ < 0 || taken_; }
    void try_take() const { taken_ = flock(file_, LOCK_EX | LOCK_NB) == 0; }

  private:
    int file_ = -1;
    mutable bool taken_ = false;
};

// An image read from the server, freed with it.
class Image {
  public:
    explicit Image(XImage *image) : image_(image) {}
    ~Image() {
        if (image_ != nullptr)
            XDestroyImage(image_);
    }
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;
    XImage *get() const { return image_; }

  private:
    XImage *image_;
};

// The window's pixel values for 0xRRGGBB colours, from its TrueColor visual's masks.
struct PixelFormat {
    unsigned long red_mask = 0, green_mask = 0, blue_mask = 0;

    static int shift_of(unsigned long mask) {
        int shift = 0;
        while (mask != 0 && !(mask & 1)) {
            mask >>= 1;
            shift++;
        }
        return shift;
    }
    static unsigned long channel(unsigned long mask, unsigned value8) {
        const unsigned long top = mask >> shift_of(mask);
        return ((value8 * top + 127) / 255) << shift_of(mask);
    }
    static uint8_t value8(unsigned long pixel, unsigned long mask) {
        const unsigned long top = mask >> shift_of(mask);
        return static_cast<uint8_t>(top == 0 ? 0 : ((pixel & mask) >> shift_of(mask)) * 255 / top);
    }
    unsigned long pixel(uint32_t rgb) const {
        return channel(red_mask, rgb >> 16) | channel(green_mask, (rgb >> 8) & 0xFF) |
               channel(blue_mask, rgb & 0xFF);
    }
};

// ---- Internal functions ----

bool program_ended(Program &program) {
    return program.process.ended();
}

// The parent of a process, from the field after the command's closing parenthesis (the command
// itself may hold spaces and parentheses); -1 if it cannot be read.
pid_t parent_of(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return -1;
    char line[1024];
    const bool read = fgets(line, sizeof line, file) != nullptr;
    fclose(file);
    const char *end = read ? strrchr(line, ')') : nullptr;
    int parent = -1;
    char state = 0;
    if (end == nullptr || sscanf(end + 1, " %c %d", &state, &parent) != 2)
        return -1;
    return parent;
}

bool is_descendant(pid_t pid, pid_t ancestor) {
    for (int step = 0; step < MAX_ANCESTRY && pid > 1; step++) {
        if (pid == ancestor)
            return true;
        pid = parent_of(pid);
    }
    return false;
}

// Whether the process has the file open, by any of its descriptors.
bool has_file_open(pid_t pid, const struct stat &file) {
    char folder[64];
    snprintf(folder, sizeof folder, "/proc/%d/fd", static_cast<int>(pid));
    DIR *fds = opendir(folder);
    if (fds == nullptr)
        return false;
    bool open = false;
    while (const dirent *entry = readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat target;
        const std::string link = std::string(folder) + "/" + entry->d_name;
        if (stat(link.c_str(), &target) == 0 && target.st_dev == file.st_dev &&
            target.st_ino == file.st_ino) {
            open = true;
            break;
        }
    }
    closedir(fds);
    return open;
}

bool watch_script(const std::string &script_path) {
    if (script_watch >= 0)
        close(script_watch);
    script_watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    return script_watch >= 0 &&
           inotify_add_watch(script_watch, script_path.c_str(), IN_OPEN | IN_CLOSE) >= 0;
}

// Waits up to the time given for events on the script's watch; returns their mask, or 0.
uint32_t script_events(double wait_ms) {
    pollfd ready = {script_watch, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(wait_ms)) <= 0)
        return 0;
    alignas(inotify_event) char buffer[4096];
    const ssize_t length = read(script_watch, buffer, sizeof buffer);
    uint32_t mask = 0;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        const inotify_event *event = reinterpret_cast<const inotify_event *>(buffer + at);
        mask |= event->mask;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return mask;
}

// X errors about a window that has gone, or an area that cannot be read, come back as failed
// calls; they do not end the tool.
int ignore_error(Display *, XErrorEvent *) {
    return 0;
}

// The process id the window's program put on it, or -1.
pid_t window_pid(Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    pid_t pid = -1;
    if (xlib.XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type,
                                &format, &count, &after, &data) == Success &&
        data != nullptr && type == XA_CARDINAL && format == 32 && count == 1)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data));
    if (data != nullptr)
        xlib.XFree(data);
    return pid;
}

bool has_title(Window window, const char *title) {
    char *name = nullptr;
    const bool same =
        xlib.XFetchName(display, window, &name) != 0 && name != nullptr && strcmp(name, title) == 0;
    if (name != nullptr)
        xlib.XFree(name);
    return same;
}

bool viewable(Window window, XWindowAttributes &attributes) {
    return xlib.XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// The program's shown window of that title below the given window, or None: the program's own
// process, or one it started, put its id on the window. A window that names another process
// stays another program's, so it is passed over in later looks: a look costs a round trip to
// the server per new window, not per window on the screen.
Window search(Window parent, int depth, pid_t program, const char *title, pid_t &owner) {
    Window root_return, parent_return, *children = nullptr;
    unsigned count = 0;
    if (xlib.XQueryTree(display, parent, &root_return, &parent_return, &children, &count) == 0)
        return None;
    Window found = None;
    for (unsigned i = 0; i < count && found == None; i++) {
        if (others_windows.count(children[i]) != 0)
            continue;
        // Selected before the property is read: once known as another's, the window's end is
        // reported, and its id, which the server may give a new window, leaves the set.
        xlib.XSelectInput(display, children[i], StructureNotifyMask);
        const pid_t pid = window_pid(children[i]);
        XWindowAttributes attributes;
        if (pid > 0 && pid != program && !is_descendant(pid, program)) {
            others_windows.insert(children[i]);
        } else if (pid > 0) {
            if (has_title(children[i], title) && viewable(children[i], attributes)) {
                found = children[i];
                owner = pid;
            }
        } else if (depth > 1) {
            found = search(children[i], depth - 1, program, title, owner);
        }
    }
    if (children != nullptr)
        xlib.XFree(children);
    return found;
}

// The child of the root that holds the window: itself, or a window manager's frame.
Window top_level(Window window) {
    const Window root = DefaultRootWindow(display);
    for (;;) {
        Window root_return, parent, *children = nullptr;
        unsigned count = 0;
        if (xlib.XQueryTree(display, window, &root_return, &parent, &children, &count) == 0)
            return None;
        if (children != nullptr)
            xlib.XFree(children);
        if (parent == root)
            return window;
        window = parent;
    }
}

// With the server grabbed: whether the client area is shown, wholly on the screen, and no
// window above it in the stacking order overlaps it.
bool client_uncovered(Window window) {
    XWindowAttributes attributes;
    if (!viewable(window, attributes) || attributes.width < CLIENT_WIDTH ||
        attributes.height < CLIENT_TOP + CLIENT_HEIGHT)
        return false;
    const Window root = DefaultRootWindow(display);
    int left = 0, top = 0;
    Window child;
    if (!xlib.XTranslateCoordinates(display, window, root, 0, CLIENT_TOP, &left, &top, &child))
        return false;
    const int right = left + CLIENT_WIDTH, bottom = top + CLIENT_HEIGHT;
    const Screen *screen = DefaultScreenOfDisplay(display);
    if (left < 0 || top < 0 || right > WidthOfScreen(screen) || bottom > HeightOfScreen(screen))
        return false;

    const Window ours = top_level(window);
    Window root_return, parent, *children = nullptr;
    unsigned count = 0;
    if (ours == None ||
        xlib.XQueryTree(display, root, &root_return, &parent, &children, &count) == 0)
        return false;
    bool above = false, covered = false;
    for (unsigned i = 0; i < count && !covered; i++) { // bottom to top
        if (children[i] == ours) {
            above = true;
            continue;
        }
        XWindowAttributes other;
        if (!above || !viewable(children[i], other))
            continue;
        const int other_right = other.x + other.width + 2 * other.border_width;
        const int other_bottom = other.y + other.height + 2 * other.border_width;
        covered = other.x < right && other_right > left && other.y < bottom && other_bottom > top;
    }
    if (children != nullptr)
        xlib.XFree(children);
    return above && !covered;
}

// With the server grabbed: rows of the client area, from the given row down, or nullptr if the
// client area is covered or cannot be read.
XImage *read_client(Window window, int top, int height) {
    if (!client_uncovered(window))
        return nullptr;
    return xlib.XGetImage(display, window, 0, CLIENT_TOP + top, CLIENT_WIDTH, height, AllPlanes,
                          ZPixmap);
}

// The same, grabbing the server for the reading alone.
XImage *read_client_grabbed(Window window, int top, int height) {
    const ServerGrab grab;
    return read_client(window, top, height);
}

bool all_pixels(XImage *image, unsigned long pixel) {
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++)
            if (XGetPixel(image, x, y) != pixel)
                return false;
    return true;
}

RgbPicture picture_of(XImage *image, const PixelFormat &format) {
    RgbPicture picture;
    picture.width = image->width;
    picture.height = image->height;
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    uint8_t *out = picture.rgb.data();
    for (int y = 0; y < image->height; y++) {
        for (int x = 0; x < image->width; x++) {
            const unsigned long pixel = XGetPixel(image, x, y);
            *out++ = PixelFormat::value8(pixel, format.red_mask);
            *out++ = PixelFormat::value8(pixel, format.green_mask);
            *out++ = PixelFormat::value8(pixel, format.blue_mask);
        }
    }
    return picture;
}

// Raises the window, and paints the marker over the client area and reads it back: true if it
// shows everywhere, with nothing covering the client area.
bool paint_marker(Window window, unsigned long marker) {
    XImage *read = nullptr;
    {
        const ServerGrab grab;
        xlib.XRaiseWindow(display, top_level(window));
        if (!client_uncovered(window))
            return false;
        XGCValues values;
        values.foreground = marker;
        const GC gc = xlib.XCreateGC(display, window, GCForeground, &values);
        xlib.XFillRectangle(display, window, gc, 0, CLIENT_TOP, CLIENT_WIDTH, CLIENT_HEIGHT);
        xlib.XFreeGC(display, gc);
        read = read_client(window, 0, CLIENT_HEIGHT);
    }
    const Image image(read);
    return image.get() != nullptr && all_pixels(image.get(), marker);
}

// Asks the program to repaint its client area, as the server would after an exposure.
void request_repaint(Window window) {
    XEvent event = {};
    event.xexpose.type = Expose;
    event.xexpose.display = display;
    event.xexpose.window = window;
    event.xexpose.x = 0;
    event.xexpose.y = CLIENT_TOP;
    event.xexpose.width = CLIENT_WIDTH;
    event.xexpose.height = CLIENT_HEIGHT;
    event.xexpose.count = 0;
    xlib.XSendEvent(display, window, False, NoEventMask, &event);
    xlib.XFlush(display);
}

// Waits until the marker has been replaced in the client area's bottom row, which the program's
// repaint reaches last, or the round's time is up (a client area of the marker's colour never
// changes); then reads the whole client area. TIMED_OUT if it was covered or could not be read.
Wait read_repainted(Program &program, const PixelFormat &format, unsigned long marker,
                    const Deadline &deadline, RgbPicture &picture) {
    const Window window = program.window;
    request_repaint(window);
    const Deadline round(ROUND_WAIT_MS);
    for (;;) {
        const Image bottom(read_client_grabbed(window, CLIENT_HEIGHT - 1, 1));
        if (bottom.get() == nullptr)
            return Wait::TIMED_OUT;
        if (!all_pixels(bottom.get(), marker) || round.passed()) {
            const Image image(read_client_grabbed(window, 0, CLIENT_HEIGHT));
            if (image.get() == nullptr)
                return Wait::TIMED_OUT;
            picture = picture_of(image.get(), format);
            return Wait::DONE;
        }
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        pause_ms(POLL_MS);
    }
}

// Windows that named another process and have gone leave the set: the server may give their ids
// to new windows.
void forget_destroyed_windows() {
    while (xlib.XPending(display) > 0) {
        XEvent event;
        xlib.XNextEvent(display, &event);
        if (event.type == DestroyNotify)
            others_windows.erase(event.xdestroywindow.window);
    }
}

// Fills in a key event of the window with the key of a keysym and the state of the modifiers.
XEvent key_event(Window window, int type, KeySym key, unsigned state) {
    XEvent event = {};
    event.xkey.type = type;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.subwindow = None;
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.state = state;
    event.xkey.keycode = xlib.XKeysymToKeycode(display, key);
    return event;
}

// Loads Xlib and finds its functions, once; false with the line that says why not.
bool load_xlib(std::string &line) {
    if (xlib_library != nullptr)
        return true;
    void *library = dlopen(XLIB_FILE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        line = std::string("cannot load Xlib (") + dlerror() + ")";
        return false;
    }
    const auto find = [library](auto &function, const char *name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        return function != nullptr;
    };
    bool found = true;
#define ZEPHA_XLIB_FIND(name) found = find(xlib.name, #name) && found;
    ZEPHA_XLIB_FUNCTIONS(ZEPHA_XLIB_FIND)
#undef ZEPHA_XLIB_FIND
    if (!found) {
        line = std::string("cannot load Xlib (") + XLIB_FILE + " lacks a function the tool calls)";
        dlclose(library);
        return false;
    }
    xlib_library = library;
    return true;
}

bool open_display() {
    // A busy server now and then refuses a connection for a moment (seen on a loaded machine).
    for (int attempt = 0; attempt < OPEN_ATTEMPTS && display == nullptr; attempt++) {
        if (attempt > 0) {
            pause_ms(OPEN_PAUSE_MS);
        }
        display = xlib.XOpenDisplay(nullptr);
    }
    if (display == nullptr)
        return false;
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC); // not the program's
    xlib.XSetErrorHandler(ignore_error);
    net_wm_pid = xlib.XInternAtom(display, "_NET_WM_PID", False);
    return true;
}

bool find_graphics_window(Program &program) {
    forget_destroyed_windows();
    pid_t owner = -1;
    program.window = search(DefaultRootWindow(display), SEARCH_DEPTH, program.process.pid(),
                            GRAPHICS_TITLE, owner);
    program.window_pid = owner;
    return program.window != None;
}

// Ctrl down, the letter down and up, Ctrl up: the four events the program gets from the
// keyboard for Ctrl+letter, in order, and before any later input.
bool press_ctrl_key(Program &program, char letter) {
    const KeySym key = XK_a + (letter >= 'a' ? letter - 'a' : letter - 'A');
    const KeySym ctrl = XK_Control_L;
    const Window window = program.window;
    XEvent events[4] = {
        key_event(window, KeyPress, ctrl, 0),
        key_event(window, KeyPress, key, ControlMask),
        key_event(window, KeyRelease, key, ControlMask),
        key_event(window, KeyRelease, ctrl, ControlMask),
    };
    bool sent = events[0].xkey.keycode != 0 && events[1].xkey.keycode != 0;
    for (XEvent &event : events)
        sent = xlib.XSendEvent(display, window, False, NoEventMask, &event) != 0 && sent;
    xlib.XFlush(display);
    return sent;
}

unsigned long find_dialog(Program &program) {
    forget_destroyed_windows();
    pid_t owner = -1;
    return search(DefaultRootWindow(display), SEARCH_DEPTH, program.process.pid(), DIALOG_TITLE,
                  owner);
}

// Each character is the key that gives it, with Shift where the keyboard needs it, pressed and
// released; sent to the dialog, whose toolkit hands keys to the field that has the focus. Return
// presses the dialog's Okay button. The keys are looked up before any is sent, so a text that
// cannot be typed leaves the field as it was.
bool type_answer(unsigned long dialog, const std::string &text) {
    std::vector<XEvent> events;
    for (const char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        // The keysyms of printable ASCII characters are their own codes.
        const KeySym key = code;
        const KeyCode keycode =
            code >= 0x20 && code < 0x7F ? xlib.XKeysymToKeycode(display, key) : 0;
        if (keycode == 0)
            return false;
        unsigned state = 0;
        if (xlib.XkbKeycodeToKeysym(display, keycode, 0, 0) != key) {
            if (xlib.XkbKeycodeToKeysym(display, keycode, 0, 1) != key)
                return false;
            state = ShiftMask;
        }
        events.push_back(key_event(dialog, KeyPress, key, state));
        events.push_back(key_event(dialog, KeyRelease, key, state));
    }
    events.push_back(key_event(dialog, KeyPress, XK_Return, 0));
    events.push_back(key_event(dialog, KeyRelease, XK_Return, 0));
    bool sent = events.back().xkey.keycode != 0;
    for (XEvent &event : events)
        sent = xlib.XSendEvent(display, dialog, False, NoEventMask, &event) != 0 && sent;
    xlib.XFlush(display);
    return sent;
}

Wait take_picture(Program &program, const Deadline &deadline, RgbPicture &picture) {
    const PictureTurn turn;
    while (!turn.taken()) {
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        turn.try_take();
        pause_ms(POLL_MS);
    }
    XWindowAttributes attributes;
    if (!viewable(program.window, attributes) || attributes.visual->c_class != TrueColor)
        return program_ended(program) ? Wait::PROGRAM_ENDED : Wait::TIMED_OUT;
    PixelFormat format;
    format.red_mask = attributes.visual->red_mask;
    format.green_mask = attributes.visual->green_mask;
    format.blue_mask = attributes.visual->blue_mask;

    Wait result = Wait::TIMED_OUT;
    RgbPicture previous;
    for (int round = 0;; round++) {
        if (program_ended(program)) {
            result = Wait::PROGRAM_ENDED;
            break;
        }
        if (deadline.passed())
            break;
        const unsigned long marker = format.pixel(MARKERS[round % 2]);
        if (!paint_marker(program.window, marker)) {
            // Covered: start the pair of rounds afresh (the next round raises it again).
            previous = RgbPicture{};
            pause_ms(POLL_MS);
            continue;
        }
        RgbPicture current;
        result = read_repainted(program, format, marker, deadline, current);
        if (result == Wait::PROGRAM_ENDED)
            break;
        if (result == Wait::DONE && current == previous) {
            picture = current;
            break;
        }
        previous = result == Wait::DONE ? current : RgbPicture{};
        result = Wait::TIMED_OUT;
    }
    return result;
}

// The program runs on while the tool looks for its graphics window every millisecond; Ctrl+P
// is sent at the first look that finds the window shown: late_ms is the time since the previous
// look, which did not find it.
Wait start_playback_at_window(Program &program, const Deadline &deadline, double &late_ms) {
    double previous_look = program.process.started_ms();
    for (;;) {
        const double look = precise_ms();
        if (find_graphics_window(program)) {
            press_ctrl_key(program, 'P');
            late_ms = precise_ms() - previous_look;
            return Wait::DONE;
        }
        previous_look = look;
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        pause_ms(POLL_MS);
    }
}

// The program opens the script when it plays its first event, in the turn of its wait loop that
// took Ctrl+P; nothing else opens it. Once opened, the script stays open until the playback ends
// by itself (at the end of the file or at a line it cannot read): a close wakes the wait, the
// descriptors tell. `look` runs at every turn of the wait (the text-entry dialogs are answered
// there); anything but DONE from it ends the wait.
Wait wait_for_playback(Program &program, const std::string &script_path, const Deadline &deadline,
                       const std::function<Wait()> &look) {
    bool opened = false;
    struct stat script;
    for (;;) {
        const Wait looked = look();
        if (looked != Wait::DONE)
            return looked;
        if (opened && !has_file_open(program.window_pid, script))
            return program_ended(program) ? Wait::PROGRAM_ENDED : Wait::DONE;
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        const uint32_t events =
            script_events(WAKE_MS < deadline.remaining_ms() ? WAKE_MS : deadline.remaining_ms());
        if (!opened && (events & IN_OPEN)) {
            if (stat(script_path.c_str(), &script) != 0)
                return Wait::TIMED_OUT;
            opened = true;
        }
    }
}

class X11Host : public ReplayHost {
  public:
    std::string prepare() override {
        std::string line;
        if (!load_xlib(line))
            return line;
        if (open_display())
            return std::string();
        const char *name = getenv("DISPLAY");
        return std::string("cannot open the X display ") + (name != nullptr ? name : "(unset)");
    }

    Started start(const ReplayRun &run) override {
        program_.process.kill();
        program_.window = 0;
        program_.window_pid = -1;
        run_ = run;
        next_answer_ = 0;
        answered_ = 0;
        // A fresh watch for each run: a run ended for starting late may have opened the script.
        if (!watch_script(run.script)) {
            detail_ = "cannot watch " + run.script + " (" + strerror(errno) + ")";
            return Started::NEVER;
        }
        const Started started = program_.process.start(run.program, run.folder, {}, {}, false);
        detail_ = program_.process.failure();
        return started;
    }

    Wait start_playback(const Deadline &deadline, double &late_ms) override {
        return start_playback_at_window(program_, deadline, late_ms);
    }

    // Each dialog that opens gets the next answer once; a dialog with none left ends the wait.
    Wait wait_for_playback(const Deadline &deadline) override {
        const auto answer_dialogs = [&]() {
            const unsigned long dialog = find_dialog(program_);
            if (dialog == 0 || dialog == answered_) {
                answered_ = dialog;
                return Wait::DONE;
            }
            detail_.clear();
            if (next_answer_ == run_.answers.size())
                return Wait::NO_ANSWER;
            const std::string &answer = run_.answers[next_answer_++];
            answered_ = dialog;
            if (type_answer(dialog, answer))
                return Wait::DONE;
            detail_ = "cannot type --answer " + answer +
                      " (only printable ASCII characters are typed); the program is ended";
            return Wait::FAILED;
        };
        return ::wait_for_playback(program_, run_.script, deadline, answer_dialogs);
    }

    Wait take_picture(const Deadline &deadline, Picture &picture) override {
        return ::take_picture(program_, deadline, picture.pixels);
    }

    Wait quit(const Deadline &deadline, ProgramEnd &end) override {
        press_ctrl_key(program_, 'Q');
        const Wait waited = program_.process.wait_for_exit(deadline);
        if (waited == Wait::DONE)
            end = program_.process.end();
        return waited;
    }

    void kill() override { program_.process.kill(); }
    std::string ended_line() override { return program_.process.ended_line(); }
    std::string detail() const override { return detail_; }

  private:
    Program program_;
    ReplayRun run_;
    size_t next_answer_ = 0;
    unsigned long answered_ = 0; // the dialog that got the last answer
    std::string detail_;
};

} // namespace

// ---- Public functions ----

std::unique_ptr<ReplayHost> make_x11_host() {
    return std::make_unique<X11Host>();
}
