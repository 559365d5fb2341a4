// Times one full redraw of the editor (clear, palette, every shape) with 0 to 10,000 shapes,
// and the same picture drawn bare with GDI into a memory bitmap of the surface's size (one
// pen and brush per shape, no runtime in between), measured alternately in one run. Prints
// the medians and their ratio; it never passes or fails.
#include "editor/editor_state.h"
#include "editor/shape_list.h"
#include "editor/shapes.h"
#include "platform/win32/gdi_guard.h"
#include "platform/win32/win32_state.h"
#include "tests/editor/bench_plan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace zepha;

namespace {

using bench::median;
using bench::PlannedShape;

struct PlannedLabel {
    int x, y;
    const char *text;
    int color;
};

// The palette's labels, as the editor draws them.
constexpr PlannedLabel LABELS[] = {
    {-284, 138, "Pick", 0},   {-286, 98, "Move", 0},     {-290, 58, "Resize", 0},
    {-290, 18, "Delete", 0},  {-285, -22, "Save", 0},    {-285, -62, "Load", 0},
    {-283, -102, "Red", 2},   {-290, -142, "Yellow", 5}, {-284, -182, "Blue", 4},
    {-288, -222, "Black", 0},
};

// ---- The same picture drawn bare ----

struct BareCanvas {
    HDC dc;
    HBITMAP bitmap;
    HDC window_dc;
};

// A box with both corners included, in surface pixels.
RECT box(int x1, int y1, int x2, int y2) {
    return {g_origin_x + std::min(x1, x2), g_origin_y - std::max(y1, y2),
            g_origin_x + std::max(x1, x2) + 1, g_origin_y - std::min(y1, y2) + 1};
}

void bare_shape(HDC dc, const RECT &r, int color, int width, bool oval) {
    SelectedObject<HPEN> pen(dc, CreatePen(PS_SOLID, width, color_table[color]), true);
    SelectedObject<HBRUSH> brush(dc,
                                 width == 0 ? CreateSolidBrush(color_table[color])
                                            : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)),
                                 width == 0);
    if (oval)
        Ellipse(dc, r.left, r.top, r.right, r.bottom);
    else
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void bare_text(HDC dc, const PlannedLabel &label) {
    SetTextColor(dc, color_table[label.color]);
    const int saved_mode = SetBkMode(dc, TRANSPARENT);
    {
        SelectedObject<HFONT> font(
            dc, CreateFontA(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "ZEPHA-font"), true);
        SIZE extent;
        const int length = static_cast<int>(strlen(label.text));
        GetTextExtentPointA(dc, label.text, length, &extent);
        TextOutA(dc, g_origin_x + label.x, g_origin_y - label.y - extent.cy, label.text, length);
    }
    SetBkMode(dc, saved_mode);
}

void bare_redraw(const BareCanvas &canvas, const std::vector<PlannedShape> &plan) {
    HDC dc = canvas.dc;
    BitBlt(canvas.window_dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT, dc, 0, 0, SRCCOPY);
    {
        SelectedObject<HBRUSH> white(dc, CreateSolidBrush(color_table[WHITE]), true);
        Rectangle(dc, 0, 0, SURFACE_WIDTH, SURFACE_HEIGHT);
    }
    bare_shape(dc, box(-300, 250, 300, -250), WHITE, 0, false);
    for (int k = 0; k < 12; ++k)
        bare_shape(dc, box(-295, 245 - 40 * k, -255, 205 - 40 * k), BLACK, 1, false);
    bare_shape(dc, box(-285, 215, -265, 235), BLACK, 0, false);
    bare_shape(dc, box(-285, 195, -265, 175), BLACK, 0, true);
    for (const PlannedLabel &label : LABELS)
        bare_text(dc, label);
    for (auto s = plan.rbegin(); s != plan.rend(); ++s) { // newest first, as the list
        const RECT r = box(s->x1, s->y1, s->x2, s->y2);
        bare_shape(dc, r, s->color, 0, s->oval);
        if (s->selected == 1)
            bare_shape(dc, r, GREEN, 1, false);
    }
}

// ---- Timing ----

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work> double time_ms(Work work) {
    const double start = now_ms();
    work();
    return now_ms() - start;
}

} // namespace

int main() {
    g_startup_args = {GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL};
    GraphicsDisplay display;

    BareCanvas canvas;
    canvas.dc = CreateCompatibleDC(g_window_dc);
    canvas.bitmap = CreateCompatibleBitmap(g_window_dc, SURFACE_WIDTH, SURFACE_HEIGHT);
    HGDIOBJ old_bitmap = SelectObject(canvas.dc, canvas.bitmap);
    canvas.window_dc = g_window_dc;

    printf("One full redraw (clear, palette, every shape), median of the runs, in ms\n");
    printf("%8s %6s %12s %12s %8s\n", "shapes", "runs", "editor", "bare GDI", "ratio");
    for (int count : {0, 100, 1000, 10000}) {
        const std::vector<PlannedShape> plan = bench::plan_shapes(count);
        ShapeList list;
        bench::fill_list(list, plan);
        const int runs = count <= 100 ? 201 : count <= 1000 ? 51 : 15;
        std::vector<double> editor_ms, bare_ms;
        redraw(display, list); // one of each first, to warm up
        bare_redraw(canvas, plan);
        for (int run = 0; run < runs; ++run) {
            editor_ms.push_back(time_ms([&] { redraw(display, list); }));
            bare_ms.push_back(time_ms([&] { bare_redraw(canvas, plan); }));
        }
        const double editor = median(editor_ms), bare = median(bare_ms);
        printf("%8d %6d %12.3f %12.3f %8.2f\n", count, runs, editor, bare, editor / bare);
        fflush(stdout);
    }

    SelectObject(canvas.dc, old_bitmap);
    DeleteObject(canvas.bitmap);
    DeleteDC(canvas.dc);
    return 0;
}
