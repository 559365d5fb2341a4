#include "editor/shape_list.h"

#include "editor/shapes.h"

#include <climits>
#include <new>

// ---- Internal functions ----

namespace {

// Corner arithmetic is done in 64 bits and clamped, so that corners far out (a replayed
// script may carry any coordinates) cannot overflow.
int clamp_to_int(long long value) {
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void release_chain(ShapeNode *node) {
    while (node) {
        ShapeNode *next = node->next;
        delete node->shape;
        delete node;
        node = next;
    }
}

} // namespace

Shape *ShapeList::holding(const Shape *shape) const {
    for (const ShapeNode *node = head; node; node = node->next)
        if (node->shape == shape)
            return node->shape;
    return nullptr;
}

// ---- Public functions ----

ShapeList::~ShapeList() {
    release_chain(head);
    release_chain(retired);
}

// A shape that no node can be allocated for is released at once: the caller has handed it
// over and nobody else refers to it.
void ShapeList::pushFront(Shape *shape) {
    if (!shape)
        return;
    ShapeNode *node = new (std::nothrow) ShapeNode{shape, head};
    if (!node) {
        delete shape;
        return;
    }
    head = node;
    ++count;
}

// The unlinked node moves to the retired chain: the shape may still be referred to (the
// editor's current pick), and reusing the node means removing never needs memory.
void ShapeList::remove(const Shape *shape) {
    if (!shape)
        return;
    for (ShapeNode **link = &head; *link; link = &(*link)->next) {
        ShapeNode *node = *link;
        if (node->shape != shape)
            continue;
        *link = node->next;
        node->next = retired;
        retired = node;
        return;
    }
}

Shape *ShapeList::findAt(int x, int y) const {
    for (const ShapeNode *node = head; node; node = node->next) {
        const Shape *s = node->shape;
        if (s->getX1() < x && x < s->getX2() && y < s->getY1() && s->getY2() < y)
            return node->shape;
    }
    return nullptr;
}

void ShapeList::moveTo(const Shape *shape, int x, int y) {
    Shape *target = holding(shape);
    if (!target)
        return;
    long long width = static_cast<long long>(target->getX2()) - target->getX1();
    long long height = static_cast<long long>(target->getY1()) - target->getY2();
    target->setX1(x);
    target->setY1(y);
    target->setX2(clamp_to_int(x + width));
    target->setY2(clamp_to_int(y - height));
}

void ShapeList::resizeTo(const Shape *shape, int x, int y) {
    Shape *target = holding(shape);
    if (!target)
        return;
    target->setX1(x);
    target->setY1(y);
}

void ShapeList::drawAll(GraphicsDisplay &display) const {
    for (const ShapeNode *node = head; node; node = node->next)
        node->shape->draw(display);
}
