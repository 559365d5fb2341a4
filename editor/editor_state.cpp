#include "editor/editor_state.h"

#include "editor/shape_list.h"
#include "editor/shapes.h"

#include <new>

namespace {

// ---- Types ----

struct PaletteLabel {
    int x, y;         // top-left of the text, 7 below the box centre
    const char *text; // the button's name
    int color;        // colour index of the text
};

// ---- Constants ----

// Labels of boxes 2 to 11, top to bottom
constexpr PaletteLabel PALETTE_LABELS[] = {
    {-284, 138, "Pick", 0},   {-286, 98, "Move", 0},     {-290, 58, "Resize", 0},
    {-290, 18, "Delete", 0},  {-285, -22, "Save", 0},    {-285, -62, "Load", 0},
    {-283, -102, "Red", 2},   {-290, -142, "Yellow", 5}, {-284, -182, "Blue", 4},
    {-288, -222, "Black", 0},
};
constexpr int LABEL_SIZE = 12;

// Colours of new shapes chosen by boxes 8 to 11
constexpr int BUTTON_RED = 8, BUTTON_YELLOW = 9, BUTTON_BLUE = 10;
constexpr int COLOR_BLACK = 0, COLOR_RED = 2, COLOR_BLUE = 4, COLOR_YELLOW = 5;

// ---- Internal functions ----

// A tool box chooses the mode; Move, Resize and Delete act on a pending pick at once.
void on_tool_click(EditorState &state, int button, ShapeList &shapes) {
    state.mode = button;
    state.clickPhase = 1;
    state.pairComplete = 0;
    if (!state.picked)
        return;
    switch (state.mode) {
    case MODE_MOVE:
        state.picked = 0;
        state.moveArmed = 1;
        break;
    case MODE_RESIZE:
        state.picked = 0;
        state.resizeArmed = 1;
        break;
    case MODE_DELETE:
        shapes.remove(state.currentPick);
        state.picked = 0;
        break;
    default: break;
    }
}

void on_color_click(EditorState &state, int button) {
    state.currentColor = colorForButton(button);
    state.clickPhase = 1;
    state.pairComplete = 0;
}

void capture_corner(EditorState &state, int x, int y) {
    if (state.clickPhase == 1) {
        state.firstX = x;
        state.firstY = y;
        state.clickPhase = 2;
        state.pairComplete = 0;
    } else {
        state.secondX = x;
        state.secondY = y;
        state.clickPhase = 1;
        state.pairComplete = 1;
    }
}

// The new shape draws itself on construction; if it cannot be allocated nothing is added.
template <typename ShapeType>
void add_shape(EditorState &state, ShapeList &shapes, GraphicsDisplay &display) {
    if (!state.pairComplete)
        return;
    shapes.pushFront(new (std::nothrow)
                         ShapeType(state.firstX, state.firstY, state.secondX, state.secondY,
                                   display, state.currentColor, state.picked));
}

// The new pick is selected before the old one is deselected, so a Pick click on the
// current pick leaves it picked but without its outline.
void pick_at(EditorState &state, int x, int y, ShapeList &shapes) {
    state.previousPick = state.currentPick;
    state.currentPick = shapes.findAt(x, y);
    if (!state.currentPick)
        return;
    state.picked = 1;
    state.currentPick->setSelected(1);
    if (state.previousPick)
        state.previousPick->setSelected(0);
}

void on_canvas_click(EditorState &state, int x, int y, ShapeList &shapes,
                     GraphicsDisplay &display) {
    capture_corner(state, x, y);
    switch (state.mode) {
    case MODE_OVAL: add_shape<OvalShape>(state, shapes, display); break;
    case MODE_PICK: pick_at(state, x, y, shapes); break;
    case MODE_MOVE:
        if (state.moveArmed) {
            shapes.moveTo(state.currentPick, x, y);
            state.moveArmed = 0;
        }
        state.clickPhase = 1;
        break;
    case MODE_RESIZE:
        if (state.resizeArmed) {
            shapes.resizeTo(state.currentPick, x, y);
            state.resizeArmed = 0;
        }
        state.clickPhase = 1;
        break;
    default: // Rect, and Delete, Save and Load, which draw rectangles too
        add_shape<RectShape>(state, shapes, display);
        break;
    }
}

} // namespace

// ---- Public functions ----

void drawPalette(GraphicsDisplay &display) {
    for (int k = 0; k < PALETTE_BOXES; ++k) {
        int top = PALETTE_TOP - PALETTE_BOX_SIZE * k;
        display.drawRectangle(PALETTE_LEFT, top, PALETTE_RIGHT, top - PALETTE_BOX_SIZE, PALETTE_INK,
                              1);
    }
    display.drawRectangle(-285, 215, -265, 235, PALETTE_INK, 0); // Rect tool icon
    display.drawCircle(-275, 185, 10, PALETTE_INK);              // Oval tool icon
    for (const PaletteLabel &label : PALETTE_LABELS)
        display.drawText(label.x, label.y, label.text, label.color, LABEL_SIZE);
}

int classifyClick(int x, int y) {
    if (PALETTE_LEFT < x && x < PALETTE_RIGHT) {
        if (TOOLS_BOTTOM < y && y < PALETTE_TOP)
            return REGION_TOOLS;
        if (COLORS_BOTTOM < y && y < TOOLS_BOTTOM)
            return REGION_COLORS;
    }
    return REGION_CANVAS;
}

int buttonIndex(int /*x*/, int y) {
    return (PALETTE_TOP - y) / PALETTE_BOX_SIZE;
}

int colorForButton(int button) {
    switch (button) {
    case BUTTON_RED: return COLOR_RED;
    case BUTTON_YELLOW: return COLOR_YELLOW;
    case BUTTON_BLUE: return COLOR_BLUE;
    default: return COLOR_BLACK;
    }
}

void applyClick(EditorState &state, int x, int y, ShapeList &shapes, GraphicsDisplay &display) {
    switch (classifyClick(x, y)) {
    case REGION_TOOLS: on_tool_click(state, buttonIndex(x, y), shapes); break;
    case REGION_COLORS: on_color_click(state, buttonIndex(x, y)); break;
    default: on_canvas_click(state, x, y, shapes, display); break;
    }
}

void applyEvent(EditorState &state, DisplayEvent event, int x, int y, ShapeList &shapes,
                GraphicsDisplay &display) {
    if (event == DE_QUIT)
        state.done = 1;
    else if (event == DE_MOUSE)
        applyClick(state, x, y, shapes, display);
}

void redraw(GraphicsDisplay &display, const ShapeList &shapes) {
    display.clear(BACKGROUND_COLOR);
    drawPalette(display);
    shapes.drawAll(display);
}
