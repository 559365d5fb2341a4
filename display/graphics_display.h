// GraphicsDisplay: the object-style face of the graphics runtime. Constructing it opens the
// runtime's windows; its methods take coordinates first and the colour after them. Only one
// display may ever be constructed in a process.
#pragma once

// Result of getNextEvent
enum DisplayEvent {
    DE_NONE = 0,     // anything the runtime should never report
    DE_MOUSE = 1,    // left click at (x, y)
    DE_KEY = 2,      // character typed
    DE_PERIODIC = 3, // animation tick
    DE_QUIT = 4,     // quit requested
};

// Argument of setAnimation
enum AnimationMode {
    AM_HALT = 0, // stop periodic events
    AM_STEP = 1, // one periodic event
    AM_RUN = 2,  // a periodic event at every timer tick
    AM_QUIT = 3, // every later event is a quit
};

class GraphicsDisplay {
  public:
    GraphicsDisplay();  // opens the windows, then turns logging off; a second one exits(-1)
    ~GraphicsDisplay(); // releases the window's device context and closes the script file
    GraphicsDisplay(const GraphicsDisplay &) = delete;
    GraphicsDisplay &operator=(const GraphicsDisplay &) = delete;

    void clear(int color);                                // flush, erase, fill the area
    DisplayEvent getNextEvent(int &x, int &y, char &key); // waits for the next event
    void setAnimation(int mode);                          // an AnimationMode value
    int drawText(int x, int y, const char *text, int color, int size);       // returns the length
    int drawRectangle(int x1, int y1, int x2, int y2, int color, int width); // width 0 fills
    int drawOval(int x1, int y1, int x2, int y2, int color, int width);      // width 0 fills
    int drawCircle(int x, int y, int radius, int color);                     // always filled

  private:
    int width;  // 600 logical units
    int height; // 500 logical units
};
