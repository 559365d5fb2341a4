// The shapes on the drawing area, newest first, in a singly linked list that owns them.
// Shapes are identified by address. A shape taken out with remove is no longer drawn or
// found, but stays a valid object until the list itself is destroyed.
#pragma once

class GraphicsDisplay;
class Shape;

struct ShapeNode {
    Shape *shape;    // the shape held
    ShapeNode *next; // the next older node; null at the end
};

class ShapeList {
  public:
    ShapeList() = default;
    ~ShapeList(); // releases the held shapes newest first, then the removed ones
    ShapeList(const ShapeList &) = delete;
    ShapeList &operator=(const ShapeList &) = delete;

    // Contents
    void pushFront(Shape *shape);                    // takes ownership; null is ignored
    void remove(const Shape *shape);                 // unlinks the shape; it stays valid
    Shape *findAt(int x, int y) const;               // newest shape strictly containing the point
    void moveTo(const Shape *shape, int x, int y);   // first corner to the point, same size
    void resizeTo(const Shape *shape, int x, int y); // first corner to the point

    // Drawing
    void drawAll(GraphicsDisplay &display) const; // every held shape, newest first

    // Inspection
    const ShapeNode *front() const { return head; } // newest node, or null
    int addedCount() const { return count; }        // shapes ever added by pushFront

  private:
    Shape *holding(const Shape *shape) const; // the held shape at that address, or null

    ShapeNode *head = nullptr;    // newest node; null when the list is empty
    int count = 0;                // shapes added by pushFront
    ShapeNode *retired = nullptr; // nodes of removed shapes, kept until the list ends
};
