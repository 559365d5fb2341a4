// The program's graphics window through the X server: found among the screen's windows by its
// title and the process that owns it, sent Ctrl+letter, and its client area read back.
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
#include "replay_native.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

// ---- Constants ----

namespace {

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

// ---- State ----

Display *display = nullptr;
Atom net_wm_pid = None;
std::set<Window> others_windows; // windows that name another process as theirs

// ---- Types ----

// The server grabbed for as long as it lives: no other client's request runs meanwhile.
class ServerGrab {
  public:
    ServerGrab() { XGrabServer(display); }
    ~ServerGrab() {
        XUngrabServer(display);
        XFlush(display);
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
    if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && type == XA_CARDINAL && format == 32 && count == 1)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data));
    if (data != nullptr)
        XFree(data);
    return pid;
}

bool has_title(Window window, const char *title) {
    char *name = nullptr;
    const bool same =
        XFetchName(display, window, &name) != 0 && name != nullptr && strcmp(name, title) == 0;
    if (name != nullptr)
        XFree(name);
    return same;
}

bool viewable(Window window, XWindowAttributes &attributes) {
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// The program's shown window of that title below the given window, or None: the program's own
// process, or one it started, put its id on the window. A window that names another process
// stays another program's, so it is passed over in later looks: a look costs a round trip to
// the server per new window, not per window on the screen.
Window search(Window parent, int depth, pid_t program, const char *title, pid_t &owner) {
    Window root_return, parent_return, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root_return, &parent_return, &children, &count) == 0)
        return None;
    Window found = None;
    for (unsigned i = 0; i < count && found == None; i++) {
        if (others_windows.count(children[i]) != 0)
            continue;
        // Selected before the property is read: once known as another's, the window's end is
        // reported, and its id, which the server may give a new window, leaves the set.
        XSelectInput(display, children[i], StructureNotifyMask);
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
        XFree(children);
    return found;
}

// The child of the root that holds the window: itself, or a window manager's frame.
Window top_level(Window window) {
    const Window root = DefaultRootWindow(display);
    for (;;) {
        Window root_return, parent, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, window, &root_return, &parent, &children, &count) == 0)
            return None;
        if (children != nullptr)
            XFree(children);
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
    if (!XTranslateCoordinates(display, window, root, 0, CLIENT_TOP, &left, &top, &child))
        return false;
    const int right = left + CLIENT_WIDTH, bottom = top + CLIENT_HEIGHT;
    const Screen *screen = DefaultScreenOfDisplay(display);
    if (left < 0 || top < 0 || right > WidthOfScreen(screen) || bottom > HeightOfScreen(screen))
        return false;

    const Window ours = top_level(window);
    Window root_return, parent, *children = nullptr;
    unsigned count = 0;
    if (ours == None || XQueryTree(display, root, &root_return, &parent, &children, &count) == 0)
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
        XFree(children);
    return above && !covered;
}

// With the server grabbed: rows of the client area, from the given row down, or nullptr if the
// client area is covered or cannot be read.
XImage *read_client(Window window, int top, int height) {
    if (!client_uncovered(window))
        return nullptr;
    return XGetImage(display, window, 0, CLIENT_TOP + top, CLIENT_WIDTH, height, AllPlanes,
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
        XRaiseWindow(display, top_level(window));
        if (!client_uncovered(window))
            return false;
        XGCValues values;
        values.foreground = marker;
        const GC gc = XCreateGC(display, window, GCForeground, &values);
        XFillRectangle(display, window, gc, 0, CLIENT_TOP, CLIENT_WIDTH, CLIENT_HEIGHT);
        XFreeGC(display, gc);
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
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
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
        const timespec pause = {0, static_cast<long>(POLL_MS * 1e6)};
        nanosleep(&pause, nullptr);
    }
}

// Windows that named another process and have gone leave the set: the server may give their ids
// to new windows.
void forget_destroyed_windows() {
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
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
    event.xkey.keycode = XKeysymToKeycode(display, key);
    return event;
}

} // namespace

// ---- Public functions ----

bool open_display() {
    // A busy server now and then refuses a connection for a moment (seen on a loaded machine).
    for (int attempt = 0; attempt < OPEN_ATTEMPTS && display == nullptr; attempt++) {
        if (attempt > 0) {
            const timespec pause = {0, static_cast<long>(OPEN_PAUSE_MS * 1e6)};
            nanosleep(&pause, nullptr);
        }
        display = XOpenDisplay(nullptr);
    }
    if (display == nullptr)
        return false;
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC); // not the program's
    XSetErrorHandler(ignore_error);
    net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
    return true;
}

bool find_graphics_window(Program &program) {
    forget_destroyed_windows();
    pid_t owner = -1;
    program.window =
        search(DefaultRootWindow(display), SEARCH_DEPTH, program.pid, GRAPHICS_TITLE, owner);
    program.window_pid = owner;
    return program.window != None;
}

// Ctrl down, the letter down and up, Ctrl up: the four events the program gets from the
// keyboard for Ctrl+letter, in order, and before any later input.
bool press_ctrl_key(const Program &program, char letter) {
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
        sent = XSendEvent(display, window, False, NoEventMask, &event) != 0 && sent;
    XFlush(display);
    return sent;
}

unsigned long find_dialog(const Program &program) {
    forget_destroyed_windows();
    pid_t owner = -1;
    return search(DefaultRootWindow(display), SEARCH_DEPTH, program.pid, DIALOG_TITLE, owner);
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
        const KeyCode keycode = code >= 0x20 && code < 0x7F ? XKeysymToKeycode(display, key) : 0;
        if (keycode == 0)
            return false;
        unsigned state = 0;
        if (XkbKeycodeToKeysym(display, keycode, 0, 0) != key) {
            if (XkbKeycodeToKeysym(display, keycode, 0, 1) != key)
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
        sent = XSendEvent(display, dialog, False, NoEventMask, &event) != 0 && sent;
    XFlush(display);
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
        const timespec pause = {0, static_cast<long>(POLL_MS * 1e6)};
        nanosleep(&pause, nullptr);
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
            const timespec pause = {0, static_cast<long>(POLL_MS * 1e6)};
            nanosleep(&pause, nullptr);
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
