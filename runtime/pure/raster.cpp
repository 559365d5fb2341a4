// Exact pixel geometry for shapes far beyond the surface. Every decision is an integer
// comparison of the same quantities the platform's rasteriser uses; products of coordinates
// need up to about 170 bits, so they are evaluated in a small unsigned 256-bit type.
#include "runtime/pure/raster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zepha {

// ---- Types ----

namespace {

// Unsigned 256-bit integer: just enough for sums of products of four 64-bit magnitudes.
struct Wide {
    uint32_t limb[8]; // least significant first
};

Wide wide(uint64_t value) {
    Wide w = {};
    w.limb[0] = static_cast<uint32_t>(value);
    w.limb[1] = static_cast<uint32_t>(value >> 32);
    return w;
}

Wide operator+(const Wide &a, const Wide &b) {
    Wide sum = {};
    uint64_t carry = 0;
    for (int i = 0; i < 8; i++) {
        carry += uint64_t(a.limb[i]) + b.limb[i];
        sum.limb[i] = static_cast<uint32_t>(carry);
        carry >>= 32;
    }
    return sum;
}

// The low 256 bits of the product; the operands used here never reach past them.
Wide operator*(const Wide &a, const Wide &b) {
    Wide product = {};
    for (int i = 0; i < 8; i++) {
        uint64_t carry = 0;
        for (int j = 0; i + j < 8; j++) {
            carry += uint64_t(a.limb[i]) * b.limb[j] + product.limb[i + j];
            product.limb[i + j] = static_cast<uint32_t>(carry);
            carry >>= 32;
        }
    }
    return product;
}

bool operator<(const Wide &a, const Wide &b) {
    for (int i = 7; i >= 0; i--)
        if (a.limb[i] != b.limb[i])
            return a.limb[i] < b.limb[i];
    return false;
}

} // namespace

// ---- Internal functions ----

namespace {

uint64_t magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

Wide square(int64_t value) {
    const Wide m = wide(magnitude(value));
    return m * m;
}

// floor((factor1 * factor2 + addend) / divisor) for non-negative operands whose quotient fits in
// 63 bits: estimated in floating point, then corrected with exact products.
int64_t floor_div(uint64_t factor1, uint64_t factor2, uint64_t addend, uint64_t divisor) {
    const Wide numerator = wide(factor1) * wide(factor2) + wide(addend);
    const double estimate = (static_cast<double>(factor1) * static_cast<double>(factor2) +
                             static_cast<double>(addend)) /
                            static_cast<double>(divisor);
    uint64_t q = estimate <= 0 ? 0 : static_cast<uint64_t>(estimate);
    while (q > 0 && numerator < wide(q) * wide(divisor))
        q--;
    while (!(numerator < wide(q + 1) * wide(divisor)))
        q++;
    return static_cast<int64_t>(q);
}

// Lines

// A line without its end point, stepped the way the platform steps one-pixel lines: from the
// start, along the major axis, with the minor coordinate at major offset m equal to
// floor((2 m minor + bias + major - 1) / (2 major)), where a bias of 1 in four of the eight
// directions settles the ties between two equally near pixels.
void bresenham(RasterPoint from, RasterPoint to, const RasterClip &clip, SpanSink &sink) {
    const int64_t dx = to.x - from.x;
    const int64_t dy = to.y - from.y;
    const uint64_t adx = magnitude(dx);
    const uint64_t ady = magnitude(dy);
    const bool x_major = adx > ady;
    // Directions counted clockwise from +x (y grows downwards): the biased ones are the
    // third, fifth, sixth and eighth octants.
    int octant;
    if (dy > 0)
        octant = dx > 0 ? (adx > ady ? 1 : 2) : (adx > ady ? 4 : 3);
    else
        octant = dx < 0 ? (adx > ady ? 5 : 6) : (adx > ady ? 8 : 7);
    const uint64_t bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
    const int64_t x_step = dx > 0 ? 1 : -1;
    const int64_t y_step = dy > 0 ? 1 : -1;
    const uint64_t major = x_major ? adx : ady;
    const uint64_t minor = x_major ? ady : adx;
    const int64_t major_start = x_major ? from.x : from.y;
    const int64_t major_step = x_major ? x_step : y_step;
    const int64_t major_limit = x_major ? clip.width : clip.height;
    // Major offsets whose pixel lies within the clip along the major axis.
    int64_t first, last;
    if (major_step > 0) {
        first = std::max<int64_t>(0, -major_start);
        last = std::min<int64_t>(static_cast<int64_t>(major) - 1, major_limit - 1 - major_start);
    } else {
        first = std::max<int64_t>(0, major_start - (major_limit - 1));
        last = std::min<int64_t>(static_cast<int64_t>(major) - 1, major_start);
    }
    for (int64_t m = first; m <= last; m++) {
        const int64_t n =
            floor_div(static_cast<uint64_t>(m), 2 * minor, bias + major - 1, 2 * major);
        const int64_t x = x_major ? from.x + m * x_step : from.x + n * x_step;
        const int64_t y = x_major ? from.y + n * y_step : from.y + m * y_step;
        if (x >= 0 && x < clip.width && y >= 0 && y < clip.height)
            sink.span(y, x, x + 1);
    }
}

// Polygons

// Column at which a non-horizontal edge crosses row y: its upper end's column plus
// ceil(k dx / dy), k rows further down. A row's pixels start at the first such column of a
// pair and end before the second.
int64_t edge_column(RasterPoint top, RasterPoint bottom, int64_t y) {
    const uint64_t k = static_cast<uint64_t>(y - top.y);
    const uint64_t dy = static_cast<uint64_t>(bottom.y - top.y);
    const int64_t dx = bottom.x - top.x;
    if (dx >= 0)
        return top.x + floor_div(k, static_cast<uint64_t>(dx), dy - 1, dy);
    return top.x - floor_div(k, magnitude(dx), 0, dy);
}

// Ovals

// The oval walk: the platform traces the quarter of an oval box w by h from its widest row
// (x = a = w - 1, y = h / 2) down to its bottom row, stepping x inwards and y outwards by
// comparing sums of the implicit function
//   G(X, Y) = b^2 (2X - a)^2 + a^2 (2Y - b)^2 - a^2 b^2,   with b = h - 1,
// at neighbouring pixels. The state of the walk depends on x and y alone, so the pixels of
// any one row follow from a few comparisons; the functions below find them by bisection.
#if defined(__SIZEOF_INT128__)
// Boxes below this size (every box near the surface) have every sum of the walk below 2^90,
// so the compiler's 128-bit type decides them at once and exactly.
constexpr int64_t NARROW_WALK_LIMIT = int64_t(1) << 20;
using Narrow = unsigned __int128;
Narrow narrow_square(int64_t value) {
    const Narrow m = magnitude(value);
    return m * m;
}
#endif

struct OvalWalk {
    int64_t w, h, a, b;
    Wide a2, b2, a2b2x2;
#if defined(__SIZEOF_INT128__)
    bool narrow;
    Narrow na2, nb2, na2b2x2;
#endif

    // The products in the wide type are made only for the walks that use them.
    OvalWalk(int64_t width, int64_t height)
        : w(width), h(height), a(width - 1), b(height - 1), a2(), b2(), a2b2x2() {
#if defined(__SIZEOF_INT128__)
        narrow = width < NARROW_WALK_LIMIT && height < NARROW_WALK_LIMIT;
        na2 = narrow_square(a);
        nb2 = narrow_square(b);
        na2b2x2 = na2 * nb2 * 2;
        if (narrow)
            return;
#endif
        a2 = square(a);
        b2 = square(b);
        a2b2x2 = a2 * b2 * wide(2);
    }

    // At state (x, y) the walk steps y when G(x-1, y+1) + G(x-1, y) <= 0 ...
    bool y_step(int64_t x, int64_t y) const {
#if defined(__SIZEOF_INT128__)
        if (narrow)
            return nb2 * narrow_square(2 * (x - 1) - a) * 2 +
                       na2 * (narrow_square(2 * (y + 1) - b) + narrow_square(2 * y - b)) <=
                   na2b2x2;
#endif
        const Wide sum = b2 * square(2 * (x - 1) - a) * wide(2) +
                         a2 * (square(2 * (y + 1) - b) + square(2 * y - b));
        return !(a2b2x2 < sum);
    }
    // ... and steps x when G(x-1, y+1) + G(x, y+1) >= 0.
    bool x_step(int64_t x, int64_t y) const {
#if defined(__SIZEOF_INT128__)
        if (narrow)
            return nb2 * (narrow_square(2 * (x - 1) - a) + narrow_square(2 * x - a)) +
                       na2 * narrow_square(2 * (y + 1) - b) * 2 >=
                   na2b2x2;
#endif
        const Wide sum = b2 * (square(2 * (x - 1) - a) + square(2 * x - a)) +
                         a2 * square(2 * (y + 1) - b) * wide(2);
        return !(sum < a2b2x2);
    }
    // Largest x in [lo, hi] for which holds(x) is true, lo - 1 if none. holds is true up to
    // some x and false beyond it where x - 1 >= a / 2; the column below is tried on its own.
    // An answer expected just below hi is looked for there first.
    template <typename Holds>
    int64_t last(int64_t lo, int64_t hi, Holds holds, bool near_hi = false) const {
        const int64_t monotone = std::max(lo, (a + 1) / 2 + 1);
        for (int tries = near_hi ? 3 : 0; tries > 0 && hi > monotone; tries--, hi--)
            if (holds(hi))
                return hi;
        if (hi >= monotone && holds(monotone)) {
            int64_t l = monotone, r = hi;
            while (l < r) {
                const int64_t mid = l + (r - l + 1) / 2;
                if (holds(mid))
                    l = mid;
                else
                    r = mid - 1;
            }
            return l;
        }
        for (int64_t x = std::min(hi, monotone - 1); x >= lo; x--)
            if (holds(x))
                return x;
        return lo - 1;
    }
    int64_t last_y_step(int64_t y, int64_t stop) const; // WalkInTurn's, for one row
    int64_t entry(int64_t y, int64_t stop) const;       // WalkInTurn's, for one row
};

// The walk's searches for its rows (h / 2 <= y <= b), which, taken in increasing order, start
// where the earlier row's ended: below its widest row the walk only moves inwards, so the x
// where a row's condition last holds is at most the earlier row's (the condition's y terms grow
// with y there). A row asked for again is answered at once.
class WalkInTurn {
  public:
    WalkInTurn(const OvalWalk &walk, int64_t stop) : walk_(walk), stop_(stop) {}

    // Last x of row y before the walk steps to the next row.
    int64_t last_y_step(int64_t y) {
        if (y != due_row_) {
            const bool below = y > due_row_ && due_row_ >= walk_.h / 2;
            due_ = walk_.last(
                stop_, below ? due_ : walk_.a, [&](int64_t x) { return walk_.y_step(x, y); },
                below);
            due_row_ = y;
        }
        return due_;
    }
    // Last x of row y at which the walk takes no x step.
    int64_t last_without_x_step(int64_t y) {
        if (y != flat_row_) {
            const bool below = y > flat_row_ && flat_row_ >= walk_.h / 2;
            flat_ = walk_.last(
                stop_, below ? flat_ : walk_.a, [&](int64_t x) { return !walk_.x_step(x, y); },
                below);
            flat_row_ = y;
        }
        return flat_;
    }
    // The x at which the walk, which runs while x >= stop, enters row y. The previous row is
    // left at the first x where a y step is due, or, where the walk is steep, at the one x the
    // previous row holds; a simultaneous x step moves it in by one.
    int64_t entry(int64_t y) {
        if (y == walk_.h / 2)
            return walk_.a;
        const int64_t due = last_y_step(y - 1);
        const int64_t steep = y - 1 == walk_.h / 2 ? walk_.a : last_without_x_step(y - 2);
        const int64_t exit = std::min(due, steep);
        return exit - (walk_.x_step(exit, y - 1) ? 1 : 0);
    }

  private:
    const OvalWalk &walk_;
    int64_t stop_;
    int64_t due_row_ = -1, due_ = 0;   // the row last_y_step last searched, and its answer
    int64_t flat_row_ = -1, flat_ = 0; // the same for last_without_x_step
};

int64_t OvalWalk::last_y_step(int64_t y, int64_t stop) const {
    return WalkInTurn(*this, stop).last_y_step(y);
}

int64_t OvalWalk::entry(int64_t y, int64_t stop) const {
    return WalkInTurn(*this, stop).entry(y);
}

// Row of the walk that gives local row y of the box: the lower half is walked, the upper half
// mirrors it.
int64_t walked_row(const OvalWalk &walk, int64_t y) {
    return y >= walk.h / 2 ? y : walk.b - y;
}

// The filled row: from the walk's outermost pixel on that row to its mirror image, the rows
// the outline bounds. The filled interior is traced by a walk that, for even widths, runs one
// column further than the outline's.
bool filled_row(const OvalWalk &walk, int64_t y, int64_t &left, int64_t &right) {
    const int64_t x = walk.entry(walked_row(walk, y), walk.a - walk.w / 2);
    left = walk.a - x;
    right = x + 1;
    return left < right;
}

// The pixels the outline walk visits on one of its rows: [leave, enter], none if the walk
// ended above the row.
struct WalkRun {
    int64_t enter = -1, leave = 0;
    bool visited() const { return enter >= 0; }
};

WalkRun walk_run(const OvalWalk &walk, int64_t y) {
    WalkRun run;
    const int64_t enter = walk.entry(y, walk.w / 2);
    if (enter < walk.w / 2)
        return run;
    run.enter = enter;
    run.leave = std::max(std::min(enter, walk.last_y_step(y, walk.w / 2)), walk.w / 2);
    return run;
}

// Runs of the outline walk for the walked rows [first, first + count), computed on demand.
class WalkRows {
  public:
    static constexpr int64_t CAPACITY = RASTER_DISC_ROWS + 600; // clip rows plus a disc

    WalkRows(const OvalWalk &walk, int64_t first, int64_t last)
        : walk_(walk), first_(first),
          count_(std::max<int64_t>(0, std::min(last - first + 1, CAPACITY))) {}

    // The run of walked row y, or an unvisited one outside the rows held.
    WalkRun at(int64_t y) {
        if (y < first_ || y >= first_ + count_)
            return WalkRun();
        const int64_t i = y - first_;
        if (!known_[i]) {
            runs_[i] = walk_run(walk_, y);
            known_[i] = true;
        }
        return runs_[i];
    }

  private:
    const OvalWalk &walk_;
    int64_t first_, count_;
    WalkRun runs_[CAPACITY];
    bool known_[CAPACITY] = {};
};

// The runs of walked row y in columns of the box, [left, right), empty where there is none:
// the filled row from the walk's outermost pixel to its mirror image (the filled interior is
// traced by a walk that, for even widths, runs one column further than the outline's); or the
// pixels the outline walk visits, and their mirror images.
void row_runs(const OvalWalk &walk, WalkInTurn &filled, WalkInTurn &outline, bool outline_only,
              int64_t y, int64_t (&runs)[4]) {
    runs[0] = runs[1] = runs[2] = runs[3] = 0;
    if (!outline_only) {
        const int64_t x = filled.entry(y);
        runs[0] = walk.a - x;
        runs[1] = x + 1;
        return;
    }
    const int64_t enter = outline.entry(y);
    if (enter < walk.w / 2)
        return; // the walk ended above this row
    const int64_t leave = std::max(std::min(enter, outline.last_y_step(y)), walk.w / 2);
    runs[0] = leave;
    runs[1] = enter + 1;
    runs[2] = walk.a - enter;
    runs[3] = walk.a - leave + 1;
}

struct Interval {
    int64_t left, right;
    bool operator<(const Interval &other) const { return left < other.left; }
};

} // namespace

// ---- Public functions ----

void raster_line(RasterPoint from, RasterPoint to, const RasterClip &clip, SpanSink &sink) {
    if (from.y == to.y || from.x == to.x) {
        // Straight lines: the start pixel up to, not including, the end pixel.
        const bool horizontal = from.y == to.y;
        const int64_t start = horizontal ? from.x : from.y;
        const int64_t end = horizontal ? to.x : to.y;
        int64_t lo = start <= end ? start : end + 1;
        int64_t hi = start <= end ? end : start + 1;
        const int64_t fixed = horizontal ? from.y : from.x;
        const int64_t limit = horizontal ? clip.width : clip.height;
        if (fixed < 0 || fixed >= (horizontal ? clip.height : clip.width))
            return;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min(hi, limit);
        if (lo >= hi)
            return;
        if (horizontal)
            sink.span(fixed, lo, hi);
        else
            sink.column(fixed, lo, hi);
        return;
    }
    bresenham(from, to, clip, sink);
}

void raster_polygon(const RasterPoint *points, int count, const RasterClip &clip, SpanSink &sink) {
    if (count < 3 || count > 64)
        return;
    int64_t top = points[0].y, bottom = points[0].y;
    for (int i = 1; i < count; i++) {
        top = std::min(top, points[i].y);
        bottom = std::max(bottom, points[i].y);
    }
    top = std::max<int64_t>(top, 0);
    bottom = std::min(bottom, clip.height);
    int64_t columns[64];
    for (int64_t y = top; y < bottom; y++) {
        int crossings = 0;
        for (int i = 0; i < count; i++) {
            RasterPoint p = points[i], q = points[(i + 1) % count];
            if (p.y == q.y)
                continue;
            if (p.y > q.y)
                std::swap(p, q);
            if (y >= p.y && y < q.y)
                columns[crossings++] = edge_column(p, q, y);
        }
        std::sort(columns, columns + crossings);
        for (int i = 0; i + 1 < crossings; i += 2) {
            const int64_t left = std::max<int64_t>(columns[i], 0);
            const int64_t right = std::min(columns[i + 1], clip.width);
            if (left < right)
                sink.span(y, left, right);
        }
    }
}

const int64_t *RasterOvalRows::runs(int64_t w, int64_t h, bool outline_only) {
    if (h > RASTER_KNOWN_OVAL_ROWS)
        return nullptr;
    for (const Size &size : sizes_)
        if (size.w == w && size.h == h && size.outline_only == outline_only && !size.runs.empty())
            return size.runs.data();
    Size &size = sizes_[next_];
    next_ = (next_ + 1) % RASTER_KNOWN_OVALS;
    const OvalWalk walk(w, h);
    WalkInTurn filled(walk, walk.a - walk.w / 2), outline(walk, walk.w / 2);
    size = {w, h, outline_only, {}};
    size.runs.resize(static_cast<size_t>(4 * (walk.b - walk.h / 2 + 1)));
    for (int64_t y = walk.h / 2; y <= walk.b; y++) {
        int64_t row[4];
        row_runs(walk, filled, outline, outline_only, y, row);
        std::copy(row, row + 4, size.runs.begin() + 4 * (y - walk.h / 2));
    }
    return size.runs.data();
}

void raster_oval(const RasterBox &box, bool outline_only, const RasterClip &clip, SpanSink &sink,
                 RasterOvalRows *known) {
    const int64_t left = box.left, top = box.top;
    const OvalWalk walk(box.right - box.left, box.bottom - box.top);
    const int64_t first = std::max<int64_t>(top, 0);
    const int64_t last = std::min(box.bottom, clip.height);
    // Each walked row gives a row of the lower half and its mirror image in the upper half. The
    // walked rows whose row in either half is in the clip are taken in increasing order.
    const int64_t half = walk.h / 2;
    const int64_t lower_first = std::max(half, first - top);
    const int64_t lower_last = std::min(walk.b, last - 1 - top);
    const int64_t upper_first = std::max(half, top + walk.b - (last - 1));
    const int64_t upper_last = std::min(walk.b, top + walk.b - first);
    auto next_shown = [&](int64_t y) {
        int64_t next = walk.b + 1;
        if (lower_first <= lower_last && y <= lower_last)
            next = std::min(next, std::max(y, lower_first));
        if (upper_first <= upper_last && y <= upper_last)
            next = std::min(next, std::max(y, upper_first));
        return next;
    };
    const int64_t *known_runs = known != nullptr && next_shown(half) <= walk.b
                                    ? known->runs(walk.w, walk.h, outline_only)
                                    : nullptr;
    WalkInTurn filled(walk, walk.a - walk.w / 2), outline(walk, walk.w / 2);
    for (int64_t y = next_shown(half); y <= walk.b; y = next_shown(y + 1)) {
        int64_t runs[4];
        if (known_runs != nullptr)
            std::copy(known_runs + 4 * (y - half), known_runs + 4 * (y - half) + 4, runs);
        else
            row_runs(walk, filled, outline, outline_only, y, runs);
        const bool upper = y >= upper_first && y <= upper_last && walk.b - y != y;
        const bool lower = y >= lower_first && y <= lower_last;
        for (const int64_t row : {upper ? top + walk.b - y : -1, lower ? top + y : -1}) {
            if (row < 0)
                continue;
            for (int run = 0; run < 4; run += 2) {
                const int64_t l = std::max<int64_t>(left + runs[run], 0);
                const int64_t r = std::min(left + runs[run + 1], clip.width);
                if (l < r)
                    sink.span(row, l, r);
            }
        }
    }
}

void raster_oval_wide(const RasterBox &box, const RasterDisc &disc, int pen_width,
                      const RasterClip &clip, SpanSink &sink) {
    const OvalWalk walk(box.right - box.left, box.bottom - box.top);
    const int64_t half = walk.h / 2;
    // Surface rows the discs can touch, and the walked rows whose pixels can reach them: the
    // lower half of the box is walked, the upper half mirrors it.
    const int64_t first_row = std::max<int64_t>(box.top + disc.top, 0);
    const int64_t last_row = std::min<int64_t>(box.bottom + disc.top + disc.rows, clip.height) - 1;
    if (first_row > last_row)
        return;
    // A diagonal step's band reaches a row or two past the discs of its two pixels.
    const int64_t first_path_row = first_row - disc.top - disc.rows - 1;
    const int64_t last_path_row = last_row - disc.top + 2;
    const int64_t lower_first = std::max(first_path_row - box.top, half),
                  lower_last = std::min(last_path_row - box.top, walk.b);
    const int64_t upper_first = std::max(box.top + walk.b - last_path_row, half);
    const int64_t upper_last = std::min(box.top + walk.b - first_path_row, walk.b);
    WalkRows lower(walk, lower_first, lower_last), upper(walk, upper_first, upper_last);
    auto run_of_row = [&](int64_t y) { // local row of the box
        return y >= half ? lower.at(y) : upper.at(walk.b - y);
    };

    Interval intervals[2 * RASTER_DISC_ROWS];
    for (int64_t row = first_row; row <= last_row; row++) {
        int n = 0;
        for (int k = 0; k < disc.rows; k++) {
            const int64_t y = row - disc.top - k - box.top;
            if (y < 0 || y > walk.b)
                continue;
            const WalkRun run = run_of_row(y);
            if (!run.visited() || disc.right[k] <= disc.left[k])
                continue;
            intervals[n++] = {box.left + run.leave + disc.left[k],
                              box.left + run.enter + disc.right[k]};
            intervals[n++] = {box.left + walk.a - run.enter + disc.left[k],
                              box.left + walk.a - run.leave + disc.right[k]};
        }
        std::sort(intervals, intervals + n);
        for (int i = 0; i < n;) {
            int64_t left = intervals[i].left, right = intervals[i].right;
            for (i++; i < n && intervals[i].left <= right; i++)
                right = std::max(right, intervals[i].right);
            left = std::max<int64_t>(left, 0);
            right = std::min(right, clip.width);
            if (left < right)
                sink.span(row, left, right);
        }
    }

    // Where the walk steps diagonally, the pen's band between the two pixels reaches a little
    // past their discs; in each quarter of the oval.
    auto band = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        RasterPoint corners[4];
        raster_wide_segment({x1, y1}, {x2, y2}, pen_width, corners);
        raster_polygon(corners, 4, clip, sink);
    };
    for (int pass = 0; pass < 2; pass++) {
        WalkRows &rows = pass == 0 ? lower : upper;
        const int64_t from = pass == 0 ? lower_first : upper_first;
        const int64_t to = pass == 0 ? lower_last : upper_last;
        for (int64_t y = from; y < to; y++) {
            const WalkRun here = rows.at(y), next = rows.at(y + 1);
            if (!here.visited() || !next.visited() || next.enter != here.leave - 1)
                continue;
            const int64_t x = here.leave;
            const int64_t rows_here[2] = {pass == 0 ? y : walk.b - y,
                                          pass == 0 ? y + 1 : walk.b - y - 1};
            band(box.left + x, box.top + rows_here[0], box.left + x - 1, box.top + rows_here[1]);
            band(box.left + walk.a - x, box.top + rows_here[0], box.left + walk.a - x + 1,
                 box.top + rows_here[1]);
        }
    }
}

void raster_oval_ring(const RasterBox &outer, const RasterBox &inner, const RasterClip &clip,
                      SpanSink &sink) {
    const OvalWalk outer_walk(outer.right - outer.left, outer.bottom - outer.top);
    const OvalWalk inner_walk(inner.right - inner.left, inner.bottom - inner.top);
    const bool has_inner = inner_walk.w >= 3 && inner_walk.h >= 3;
    const int64_t first = std::max<int64_t>(outer.top, 0);
    const int64_t last = std::min(outer.bottom, clip.height);
    for (int64_t row = first; row < last; row++) {
        int64_t l, r;
        if (!filled_row(outer_walk, row - outer.top, l, r))
            continue;
        l += outer.left;
        r += outer.left;
        int64_t hole_l = r, hole_r = r; // empty unless the inner oval covers this row
        if (has_inner && row >= inner.top && row < inner.bottom &&
            filled_row(inner_walk, row - inner.top, hole_l, hole_r)) {
            hole_l += inner.left;
            hole_r += inner.left;
        }
        const int64_t runs[2][2] = {{l, std::min(r, hole_l)}, {std::max(l, hole_r), r}};
        for (const auto &run : runs) {
            const int64_t a = std::max<int64_t>(run[0], 0);
            const int64_t b = std::min(run[1], clip.width);
            if (a < b)
                sink.span(row, a, b);
        }
    }
}

void raster_oval_band(const RasterBox &box, int pen_width, const RasterClip &clip, SpanSink &sink) {
    const int64_t before = pen_width / 2, after = (pen_width + 1) / 2;
    const RasterBox outer = {box.left - before, box.top - before, box.right + after - 1,
                             box.bottom + after - 1};
    const RasterBox inner = {box.left + after, box.top + after, box.right - 1 - before,
                             box.bottom - 1 - before};
    raster_oval_ring(outer, inner, clip, sink);
}

void raster_wide_segment(RasterPoint from, RasterPoint to, int pen_width,
                         RasterPoint (&corners)[4]) {
    const int64_t dx = to.x - from.x;
    const int64_t dy = to.y - from.y;
    if (dy == 0 || dx == 0) {
        // A band of pen_width rows (or columns) from one end to the other.
        const bool horizontal = dy == 0;
        const int64_t lo = horizontal ? std::min(from.x, to.x) : std::min(from.y, to.y);
        const int64_t hi = horizontal ? std::max(from.x, to.x) : std::max(from.y, to.y);
        const int64_t side = (horizontal ? from.y : from.x) - pen_width / 2;
        const int64_t other_side = side + pen_width;
        if (horizontal) {
            corners[0] = {lo, side};
            corners[1] = {hi, side};
            corners[2] = {hi, other_side};
            corners[3] = {lo, other_side};
        } else {
            corners[0] = {side, lo};
            corners[1] = {other_side, lo};
            corners[2] = {other_side, hi};
            corners[3] = {side, hi};
        }
        return;
    }
    // A slanted band: each end moved across the line by half the pen's width, rounded away
    // from zero, the wider half on one side.
    const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    const double width_x = pen_width * std::fabs(static_cast<double>(dy)) / length;
    const double width_y = pen_width * std::fabs(static_cast<double>(dx)) / length;
    auto round_away = [](double v) { return static_cast<int64_t>(v > 0 ? v + 0.5 : v - 0.5); };
    RasterPoint narrow = {round_away(width_x / 2), round_away(width_y / 2)};
    RasterPoint wide_half = {round_away((width_x + 1) / 2), round_away((width_y + 1) / 2)};
    if (dx < 0) {
        wide_half.y = -wide_half.y;
        narrow.y = -narrow.y;
    }
    if (dy < 0) {
        std::swap(narrow, wide_half);
        wide_half.x = -wide_half.x;
        narrow.x = -narrow.x;
    }
    corners[0] = {from.x - narrow.x, from.y + narrow.y};
    corners[1] = {from.x + wide_half.x, from.y - wide_half.y};
    corners[2] = {to.x + wide_half.x, to.y - wide_half.y};
    corners[3] = {to.x - narrow.x, to.y + narrow.y};
}

// ---- Pens ----

namespace {

// Pens up to this width have their rows computed ahead by the region's own incremental walk,
// whose terms stay within 64 bits up to about 2^20; wider pens compute each row on its own.
constexpr int PEN_WALK_LIMIT = 1 << 19;

} // namespace

RasterPen::RasterPen(int width) : width_(std::max(width, 2)) {
    if (width_ > PEN_WALK_LIMIT)
        return;
    // The platform's elliptic region, a box w by w: from its middle row down, x counts the
    // columns each row loses at either end.
    const int64_t w = width_, a = w - 1, b = w - 1;
    inset_.assign(static_cast<size_t>(w - w / 2), 0);
    const int64_t asq = 8 * a * a, bsq = 8 * b * b;
    int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
    int64_t err = dx + dy + a * a * (b % 2);
    int64_t x = 0, y = w / 2, reached = 0;
    while (x <= w / 2) {
        const int64_t e2 = 2 * err;
        if (e2 >= dx) {
            x++;
            err += dx += bsq;
        }
        if (e2 <= dy) {
            y++;
            err += dy += asq;
            if (y >= w)
                break;
            reached = y - w / 2;
            inset_[static_cast<size_t>(reached)] = x;
        }
    }
    for (size_t j = static_cast<size_t>(reached) + 1; j < inset_.size(); j++)
        inset_[j] = inset_[j - 1];
}

void RasterPen::row(int64_t k, int64_t &left, int64_t &right) const {
    const int64_t w = width_, i = k - top();
    if (i < 0 || i >= w) {
        left = right = 0;
        return;
    }
    int64_t inset;
    if (!inset_.empty()) {
        const int64_t y = i >= w / 2 ? i : w - 1 - i;
        inset = inset_[static_cast<size_t>(y - w / 2)];
    } else {
        // The same region is the filled oval of its box, whose rows the oval walk gives.
        const OvalWalk walk(w, w);
        int64_t l, r;
        filled_row(walk, i, l, r);
        inset = l;
    }
    left = top() + inset;
    right = (w + 1) / 2 - inset;
}

void RasterPen::paint(RasterPoint centre, const RasterClip &clip, SpanSink &sink) const {
    const int64_t first = std::max<int64_t>(centre.y + top(), 0);
    const int64_t last = std::min<int64_t>(centre.y + top() + width_, clip.height);
    for (int64_t y = first; y < last; y++) {
        int64_t l, r;
        row(y - centre.y, l, r);
        l = std::max<int64_t>(centre.x + l, 0);
        r = std::min(centre.x + r, clip.width);
        if (l < r)
            sink.span(y, l, r);
    }
}

bool RasterPen::covers(RasterPoint centre, const RasterClip &clip) const {
    // Rows nearer the middle hold the rows further out: the clip's first and last rows decide.
    for (int64_t y : {int64_t(0), clip.height - 1}) {
        const int64_t k = y - centre.y;
        if (k < top() || k >= top() + width_)
            return false;
        int64_t l, r;
        row(k, l, r);
        if (centre.x + l > 0 || centre.x + r < clip.width)
            return false;
    }
    return true;
}

void RasterPen::fill(RasterDisc &disc) const {
    disc.top = top();
    disc.rows = std::min(width_, RASTER_DISC_ROWS);
    for (int k = 0; k < disc.rows; k++)
        row(top() + k, disc.left[k], disc.right[k]);
}

int raster_covering_pen(RasterPoint centre, int pen_width, const RasterClip &clip) {
    if (pen_width <= 2 || clip.width <= 0 || clip.height <= 0)
        return pen_width;
    // Twice the distance to the furthest pixel of the clip, and a few pixels for the disc's
    // own rounding.
    const double far_x =
        static_cast<double>(std::max(magnitude(centre.x), magnitude(centre.x - (clip.width - 1))));
    const double far_y =
        static_cast<double>(std::max(magnitude(centre.y), magnitude(centre.y - (clip.height - 1))));
    const double reach = std::hypot(far_x, far_y);
    if (reach > PEN_WALK_LIMIT)
        return pen_width;
    const int narrow = 2 * static_cast<int>(std::ceil(reach)) + 8;
    if (narrow >= pen_width)
        return pen_width;
    if (RasterPen(narrow).covers(centre, clip) && RasterPen(pen_width).covers(centre, clip))
        return narrow;
    return pen_width;
}

namespace {

// Passes on the spans of a window of rows, moved down by its first row.
class RowWindow final : public SpanSink {
  public:
    RowWindow(SpanSink &sink, int64_t first) : sink_(sink), first_(first) {}
    void span(int64_t row, int64_t left, int64_t right) override {
        sink_.span(row + first_, left, right);
    }

  private:
    SpanSink &sink_;
    int64_t first_;
};

// The rows [first, last) of a polygon.
void polygon_rows(const RasterPoint (&points)[4], int64_t first, int64_t last,
                  const RasterClip &clip, SpanSink &sink) {
    first = std::max<int64_t>(first, 0);
    last = std::min(last, clip.height);
    if (first >= last)
        return;
    RasterPoint moved[4];
    for (int i = 0; i < 4; i++)
        moved[i] = {points[i].x, points[i].y - first};
    RowWindow window(sink, first);
    raster_polygon(moved, 4, {clip.width, last - first}, window);
}

} // namespace

void raster_oval_pen(const RasterBox &box, const RasterPen &pen, const RasterClip &clip,
                     SpanSink &sink) {
    const int64_t w = box.right - box.left, h = box.bottom - box.top;
    if (w < 3 || h < 3 || w > 2 * RASTER_OVAL_PEN_LIMIT || h > 2 * RASTER_OVAL_PEN_LIMIT)
        return;
    // The lower right quarter's walk, step by step: the first and last column it visits on
    // each of its rows.
    const int64_t a = w - 1, b = h - 1, half = h / 2;
    std::vector<int64_t> enter(static_cast<size_t>(h), -1), leave(static_cast<size_t>(h), 0);
    {
        const int64_t asq = 8 * a * a, bsq = 8 * b * b;
        int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
        int64_t err = dx + dy + a * a * (b % 2);
        int64_t x = a, y = half;
        while (x >= w / 2 && y < h) {
            if (enter[static_cast<size_t>(y)] < 0)
                enter[static_cast<size_t>(y)] = x;
            leave[static_cast<size_t>(y)] = x;
            const int64_t e2 = 2 * err;
            if (e2 >= dx) {
                x--;
                err += dx += bsq;
            }
            if (e2 <= dy) {
                y++;
                err += dy += asq;
            }
        }
    }
    const int64_t top = pen.top(), rows = pen.width();
    const int64_t first_row = std::max<int64_t>(box.top + top, 0);
    const int64_t last_row = std::min<int64_t>(box.bottom + top + rows, clip.height);
    if (first_row >= last_row)
        return;

    // The disc's rows that reach the clip from some row of the box.
    const int64_t k_first = std::max(first_row - box.top - b, top);
    const int64_t k_last = std::min(last_row - 1 - box.top, top + rows - 1);
    std::vector<int64_t> disc_left, disc_right;
    for (int64_t k = k_first; k <= k_last; k++) {
        int64_t l, r;
        pen.row(k, l, r);
        disc_left.push_back(l);
        disc_right.push_back(r);
    }
    // Each row: the union of the discs at the walk's pixels, counted column by column.
    std::vector<int> cover(static_cast<size_t>(clip.width) + 1);
    auto add = [&](int64_t l, int64_t r) {
        l = std::max<int64_t>(l, 0);
        r = std::min(r, clip.width);
        if (l < r) {
            cover[static_cast<size_t>(l)]++;
            cover[static_cast<size_t>(r)]--;
        }
    };
    for (int64_t row = first_row; row < last_row; row++) {
        std::fill(cover.begin(), cover.end(), 0);
        const int64_t y_first = std::max<int64_t>(row - box.top - k_last, 0);
        const int64_t y_last = std::min(row - box.top - k_first, b);
        for (int64_t y = y_first; y <= y_last; y++) {
            const size_t walked = static_cast<size_t>(y >= half ? y : b - y);
            if (enter[walked] < 0)
                continue;
            const size_t k = static_cast<size_t>(row - box.top - y - k_first);
            if (disc_right[k] <= disc_left[k])
                continue;
            add(box.left + leave[walked] + disc_left[k], box.left + enter[walked] + disc_right[k]);
            add(box.left + a - enter[walked] + disc_left[k],
                box.left + a - leave[walked] + disc_right[k]);
        }
        int depth = 0;
        int64_t start = -1;
        for (int64_t x = 0; x <= clip.width; x++) {
            depth += cover[static_cast<size_t>(x)];
            if (depth > 0 && start < 0)
                start = x;
            if ((depth == 0 || x == clip.width) && start >= 0) {
                sink.span(row, start, x);
                start = -1;
            }
        }
    }

    // Each diagonal step's band, in each quarter. Far from its two ends the band lies well
    // inside the discs of its two pixels; only the rows about its corners can add pixels.
    const int64_t margin = 8;
    auto band = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        RasterPoint corners[4];
        raster_wide_segment({x1, y1}, {x2, y2}, pen.width(), corners);
        int64_t lo = corners[0].y, hi = corners[0].y;
        for (const RasterPoint &c : corners) {
            lo = std::min(lo, c.y);
            hi = std::max(hi, c.y);
        }
        if (hi - lo <= 4 * margin) {
            polygon_rows(corners, lo, hi, clip, sink);
            return;
        }
        // The corners pair up at the band's two sides: the rows about each pair.
        int64_t near_lo = std::min(corners[0].y, corners[3].y) - margin;
        int64_t near_hi = std::max(corners[0].y, corners[3].y) + margin;
        int64_t far_lo = std::min(corners[1].y, corners[2].y) - margin;
        int64_t far_hi = std::max(corners[1].y, corners[2].y) + margin;
        if (near_lo > far_lo) {
            std::swap(near_lo, far_lo);
            std::swap(near_hi, far_hi);
        }
        if (near_hi >= far_lo) {
            polygon_rows(corners, near_lo, std::max(near_hi, far_hi), clip, sink);
            return;
        }
        polygon_rows(corners, near_lo, near_hi, clip, sink);
        polygon_rows(corners, far_lo, far_hi, clip, sink);
    };
    const int64_t reach = pen.width() / 2 + 2;
    for (int64_t y = half; y < b; y++) {
        const size_t here = static_cast<size_t>(y), next = here + 1;
        if (enter[here] < 0 || enter[next] < 0 || enter[next] != leave[here] - 1)
            continue;
        const int64_t x = leave[here];
        for (int64_t pass = 0; pass < 2; pass++) {
            const int64_t y1 = box.top + (pass == 0 ? y : b - y);
            const int64_t y2 = box.top + (pass == 0 ? y + 1 : b - y - 1);
            if (std::max(y1, y2) + reach < 0 || std::min(y1, y2) - reach >= clip.height)
                continue;
            band(box.left + x, y1, box.left + x - 1, y2);
            band(box.left + a - x, y1, box.left + a - x + 1, y2);
        }
    }
}

} // namespace zepha
