// Painting what the pixel geometry of raster.h computes onto the surface: spans of one colour,
// and the disc a wide pen puts at a point, made the way the platform makes it. Private to the
// runtime (and its tests).
#pragma once

#include "platform/win32/win32_state.h"
#include "runtime/pure/raster.h"

namespace zepha::win32 {

// The platform's disc of a wide pen, centred on (0, 0); the caller deletes it.
inline HRGN create_pen_disc(int pen_width) {
    return CreateEllipticRgn(-(pen_width / 2), -(pen_width / 2), (pen_width + 1) / 2 + 1,
                             (pen_width + 1) / 2 + 1);
}

// That disc row by row, as the pixel geometry takes it; false for a pen wider than it holds.
bool pen_disc(int pen_width, RasterDisc &disc);

// Paints spans of pixels, and the round ends of wide pens, in one colour.
class SurfacePainter final : public SpanSink {
  public:
    explicit SurfacePainter(COLORREF color) : brush_(CreateSolidBrush(color)) {}
    ~SurfacePainter() {
        if (brush_ != nullptr)
            DeleteObject(brush_);
    }
    SurfacePainter(const SurfacePainter &) = delete;
    SurfacePainter &operator=(const SurfacePainter &) = delete;

    void span(int64_t row, int64_t left, int64_t right) override {
        const RECT rect = {static_cast<LONG>(left), static_cast<LONG>(row),
                           static_cast<LONG>(right), static_cast<LONG>(row + 1)};
        FillRect(g_surface_dc, &rect, brush_);
    }
    // The round end or corner a wide pen puts at a point: the pen's own disc, skipped where it
    // cannot reach the surface.
    void disc(RasterPoint centre, int pen_width) {
        const int64_t reach = int64_t(pen_width) + 1;
        if (centre.x < -reach || centre.x > SURFACE_WIDTH + reach || centre.y < -reach ||
            centre.y > SURFACE_HEIGHT + reach)
            return;
        HRGN disc = create_pen_disc(pen_width);
        if (disc == nullptr)
            return;
        OffsetRgn(disc, static_cast<int>(centre.x), static_cast<int>(centre.y));
        FillRgn(g_surface_dc, disc, brush_);
        DeleteObject(disc);
    }

  private:
    HBRUSH brush_;
};

} // namespace zepha::win32
