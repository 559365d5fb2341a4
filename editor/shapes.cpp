#include "editor/shapes.h"

#include "display/graphics_display.h"

// ---- Shape ----

void Shape::setAll(int x1, int y1, int x2, int y2, int color, unsigned char selected) {
    setX1(x1);
    setY1(y1);
    setX2(x2);
    setY2(y2);
    setColor(color);
    setSelected(selected);
}

void Shape::drawSelection(GraphicsDisplay &display) const {
    display.drawRectangle(x1, y1, x2, y2, SELECTION_COLOR, SELECTION_WIDTH);
}

// ---- RectShape ----

RectShape::RectShape(int x1, int y1, int x2, int y2, GraphicsDisplay &display, int color,
                     unsigned char selected) {
    setAll(x1, y1, x2, y2, color, selected);
    RectShape::draw(display);
}

void RectShape::draw(GraphicsDisplay &display) const {
    display.drawRectangle(x1, y1, x2, y2, color, 0);
    if (selected == 1)
        drawSelection(display);
}

// ---- OvalShape ----

OvalShape::OvalShape(int x1, int y1, int x2, int y2, GraphicsDisplay &display, int color,
                     unsigned char selected) {
    setAll(x1, y1, x2, y2, color, selected);
    OvalShape::draw(display);
}

void OvalShape::draw(GraphicsDisplay &display) const {
    display.drawOval(x1, y1, x2, y2, color, 0);
    if (selected == 1)
        drawSelection(display);
}
