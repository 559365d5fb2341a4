// The shapes of the drawing primitives painted in software into a surface in memory, pixel for
// pixel as the Win32 runtime's drawing calls paint them. Platform-free.
#pragma once

#include <cstdint>

#include "runtime/pure/pixel_surface.h"
#include "runtime/pure/raster.h"

namespace zepha {

// count pixels from first set to rgb, with the C library's fill of 32-bit units where it has one.
void fill_pixels(uint32_t *first, int64_t count, uint32_t rgb);

// kind: 0 triangle, 1 rectangle, 2 oval, 3 line, 4 pixel (the ITEM_ values).
// points: surface coordinates, as render_shape computes them from the item's logical ones
//   (origin + x, origin - y, 64-bit): triangle p[0..2]; rectangle/oval p[0] = (x1, y1) top-left
//   and p[1] = (x2, y2) bottom-right, BOTH inclusive (render_shape adds the +1 itself); line
//   p[0] to p[1]; pixel p[0].
// pen_width >= 0 (0 means filled), rgb a colour table value.
// known: where the rows of ovals already drawn are kept between calls, or null.
void paint_shape(PixelSurface &surface, int kind, uint32_t rgb, int pen_width,
                 const RasterPoint (&points)[3], RasterOvalRows *known = nullptr);

// The same shape as spans of the clip, for a platform that paints spans itself.
void paint_shape_spans(int kind, int pen_width, const RasterPoint (&points)[3],
                       const RasterClip &clip, SpanSink &sink, RasterOvalRows *known = nullptr);

// A point of the shape where the platform puts the disc of its wide pen, which decides whether
// the pen covers the whole surface (raster_covering_pen); false for one-pixel pens and for the
// ovals render_shape paints itself.
bool pen_centre(int kind, int pen_width, const RasterPoint (&points)[3], RasterPoint &centre);

} // namespace zepha
