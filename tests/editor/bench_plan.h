// The shapes both redraw benchmarks draw: the same scattered rectangles and ovals from a fixed
// seed, put into the editor's shape list; and the median of a run's times.
#pragma once

#include <algorithm>
#include <vector>

#include "editor/shape_list.h"
#include "editor/shapes.h"

namespace bench {

struct PlannedShape {
    int x1, y1, x2, y2;
    int color;
    bool oval;
    unsigned char selected;
};

// Shapes scattered over the drawing area from a fixed seed: rectangles and ovals in the
// editor's four colours, every tenth one selected.
inline std::vector<PlannedShape> plan_shapes(int count) {
    static const int colors[] = {0, 2, 4, 5};
    unsigned state = 12345;
    auto next = [&state](int range) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<unsigned>(range));
    };
    std::vector<PlannedShape> plan;
    for (int i = 0; i < count; ++i) {
        int x = next(500) - 250, y = next(400) - 200;
        plan.push_back({x, y, x + 10 + next(100), y - 10 - next(100), colors[next(4)], i % 2 == 1,
                        static_cast<unsigned char>(i % 10 == 0)});
    }
    return plan;
}

inline void fill_list(ShapeList &list, const std::vector<PlannedShape> &plan) {
    for (const PlannedShape &s : plan) {
        Shape *shape = s.oval ? static_cast<Shape *>(new OvalShape) : new RectShape;
        shape->setX1(s.x1);
        shape->setY1(s.y1);
        shape->setX2(s.x2);
        shape->setY2(s.y2);
        shape->setColor(s.color);
        shape->setSelected(s.selected);
        list.pushFront(shape);
    }
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
