// The editor's drawable objects: filled rectangles and ovals on a bounding box given by two
// corners in logical coordinates. A shape draws itself on the display it is handed; a selected
// shape adds a green outline on its bounding box.
#pragma once

class GraphicsDisplay;

constexpr int SELECTION_COLOR = 3; // green outline of a selected shape
constexpr int SELECTION_WIDTH = 1; // its line width in pixels

// The corners are kept as given, never put in order: x1 may exceed x2 and y1 may lie below y2.
class Shape {
  public:
    Shape() = default;
    virtual ~Shape() = default;

    // Setters: store the value; nothing is redrawn until the next draw
    void setX1(int value) { x1 = value; }
    void setY1(int value) { y1 = value; }
    void setX2(int value) { x2 = value; }
    void setY2(int value) { y2 = value; }
    void setColor(int value) { color = value; }
    void setSelected(unsigned char value) { selected = value; } // exactly 1 means selected

    // Getters: the corners only
    int getX1() const { return x1; }
    int getY1() const { return y1; }
    int getX2() const { return x2; }
    int getY2() const { return y2; }

    // Drawing
    void drawSelection(GraphicsDisplay &display) const;    // green outline on the bounding box
    virtual void draw(GraphicsDisplay &display) const = 0; // body, then outline if selected

  protected:
    // What the full constructors of the concrete shapes do before drawing: every setter, in
    // field order.
    void setAll(int x1, int y1, int x2, int y2, int color, unsigned char selected);

    int x1 = 0; // first corner, read as upper-left by the list's hit test
    int y1 = 0;
    int x2 = 0; // second corner, read as lower-right
    int y2 = 0;
    int color = 0;              // colour index, passed to the display unchanged
    unsigned char selected = 0; // selection flag
};

// A filled rectangle on the bounding box.
class RectShape : public Shape {
  public:
    RectShape() = default; // all zero; draws nothing
    RectShape(int x1, int y1, int x2, int y2, GraphicsDisplay &display, int color,
              unsigned char selected); // stores the fields, then draws at once
    void draw(GraphicsDisplay &display) const override;
};

// A filled oval inscribed in the bounding box; its selection outline is the box itself.
class OvalShape : public Shape {
  public:
    OvalShape() = default; // all zero; draws nothing
    OvalShape(int x1, int y1, int x2, int y2, GraphicsDisplay &display, int color,
              unsigned char selected); // stores the fields, then draws at once
    void draw(GraphicsDisplay &display) const override;
};
