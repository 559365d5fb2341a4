// The shape editor's decisions, apart from its event loop: the palette down the left edge of
// the drawing area, the classification of clicks, and the state that tool, colour and canvas
// clicks change. app_main feeds every event through applyEvent and then calls redraw.
#pragma once

#include "display/graphics_display.h"

class Shape;
class ShapeList;

// Colours
constexpr int BACKGROUND_COLOR = 1; // white, the colour the drawing area is cleared to
constexpr int PALETTE_INK = 0;      // black box outlines, icons and tool labels

// Palette geometry: one column of twelve 40 by 40 boxes, box k from y = 245 - 40k down
constexpr int PALETTE_LEFT = -295;
constexpr int PALETTE_RIGHT = -255;
constexpr int PALETTE_TOP = 245;
constexpr int PALETTE_BOX_SIZE = 40;
constexpr int PALETTE_BOXES = 12;
constexpr int TOOLS_BOTTOM = -75;   // boundary between box 7 (Load) and box 8 (Red)
constexpr int COLORS_BOTTOM = -235; // bottom of box 11 (Black)

// Where a click landed
enum ClickRegion {
    REGION_TOOLS = 0,  // inside the tool boxes 0 to 7
    REGION_CANVAS = 1, // anywhere else, palette outlines included
    REGION_COLORS = 2, // inside the colour boxes 8 to 11
};

// The current tool; the value is the index of the tool's box
enum EditMode {
    MODE_RECT = 0,
    MODE_OVAL = 1,
    MODE_PICK = 2,
    MODE_MOVE = 3,
    MODE_RESIZE = 4,
    MODE_DELETE = 5,
    MODE_SAVE = 6, // only changes the mode
    MODE_LOAD = 7, // only changes the mode
};

// Everything the editor remembers between events
struct EditorState {
    unsigned char done = 0;         // the quit event has been seen
    int mode = MODE_RECT;           // current tool
    int currentColor = 0;           // colour of new shapes (black)
    int clickPhase = 1;             // 1: next canvas click is a first corner; 2: a second
    unsigned char pairComplete = 0; // the last canvas click completed a pair
    int firstX = 0, firstY = 0;     // first corner of the pair
    int secondX = 0, secondY = 0;   // second corner of the pair
    unsigned char picked = 0;       // a pick waits for Move, Resize or Delete; also the
                                    // selection flag of every new shape
    unsigned char moveArmed = 0;    // the next Move-mode canvas click moves currentPick
    unsigned char resizeArmed = 0;  // the next Resize-mode canvas click resizes currentPick
    Shape *currentPick = nullptr;   // found by the last Pick click, or null
    Shape *previousPick = nullptr;  // currentPick before the last Pick click
};

// Palette
void drawPalette(GraphicsDisplay &display); // outlines, icons, then labels
int classifyClick(int x, int y);            // a ClickRegion; every comparison strict
int buttonIndex(int x, int y);              // box under y: (245 - y) / 40; x unused
int colorForButton(int button);             // 8 red, 9 yellow, 10 blue, else black

// Editing
void applyClick(EditorState &state, int x, int y, ShapeList &shapes,
                GraphicsDisplay &display); // one mouse click; new shapes draw at once
void applyEvent(EditorState &state, DisplayEvent event, int x, int y, ShapeList &shapes,
                GraphicsDisplay &display); // quit ends the run, a click is applied
void redraw(GraphicsDisplay &display, const ShapeList &shapes); // clear, palette, shapes
