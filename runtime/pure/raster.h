// Pixel geometry of lines, polygons, ovals and pens in 64-bit surface coordinates, for shapes
// that lie partly or wholly beyond the coordinates the platform's drawing calls handle, and for
// platforms that paint every shape in software. Each function reproduces the pixels that the
// platform's own rasteriser picks for the shape (the same integer decisions, evaluated
// exactly), but only for the rows and columns of the clip rectangle, so its cost does not grow
// with the size of the shape. Platform-free.
#pragma once

#include <cstdint>
#include <vector>

namespace zepha {

// Columns [0, width) and rows [0, height) of the surface.
struct RasterClip {
    int64_t width;
    int64_t height;
};

// Receives runs of pixels, columns [left, right) of one row, all inside the clip. A run may
// repeat or overlap pixels of an earlier run.
class SpanSink {
  public:
    virtual void span(int64_t row, int64_t left, int64_t right) = 0;
    // The pixel of column x in each of rows [top, bottom): a vertical line's runs at once.
    virtual void column(int64_t x, int64_t top, int64_t bottom) {
        for (int64_t row = top; row < bottom; row++)
            span(row, x, x + 1);
    }

  protected:
    ~SpanSink() = default;
};

struct RasterPoint {
    int64_t x;
    int64_t y;
};

// A box: columns [left, right), rows [top, bottom).
struct RasterBox {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

// The disc a wide pen puts at every point it passes: rows [top, top + rows) relative to the
// point, row k covering columns [left[k], right[k]) relative to it.
constexpr int RASTER_DISC_ROWS = 1024;
struct RasterDisc {
    int64_t top;
    int rows; // at most RASTER_DISC_ROWS
    int64_t left[RASTER_DISC_ROWS];
    int64_t right[RASTER_DISC_ROWS];
};

// The same disc for a pen of any width, as the platform's elliptic region of the pen's box makes
// it: rows [top(), top() + width) relative to the point, each a run of columns; the widest row
// in the middle, every other row inside the rows nearer the middle.
class RasterPen {
  public:
    explicit RasterPen(int width); // width >= 2
    int width() const { return width_; }
    int64_t top() const { return -(width_ / 2); }
    void row(int64_t k, int64_t &left, int64_t &right) const; // row k (top() <= k < top() +
                                                              // width), relative to the point
    void paint(RasterPoint centre, const RasterClip &clip, SpanSink &sink) const; // at a point
    bool covers(RasterPoint centre, const RasterClip &clip) const; // every pixel of the clip
    void fill(RasterDisc &disc) const; // row by row; width at most RASTER_DISC_ROWS

  private:
    int width_;
    std::vector<int64_t> inset_; // per row of the lower half, when computed ahead
};

// Coordinates handed to these functions stay within this distance of the surface.
constexpr int64_t RASTER_COORDINATE_LIMIT = int64_t(1) << 40;
// raster_oval_pen's boxes, which it walks whole, stay within this distance.
constexpr int64_t RASTER_OVAL_PEN_LIMIT = int64_t(1) << 17;

// The rows of ovals by the size of their box, for a caller that draws ovals of a few sizes again
// and again (a program that redraws its picture at every event): raster_oval then walks each
// size once. Keeps the last RASTER_KNOWN_OVALS sizes, each up to RASTER_KNOWN_OVAL_ROWS rows.
constexpr int RASTER_KNOWN_OVALS = 8;
constexpr int64_t RASTER_KNOWN_OVAL_ROWS = 2048;
class RasterOvalRows {
  public:
    // The runs of the walked rows of a w by h box, four numbers a row (h / 2 to h - 1); null
    // for a box too tall to keep.
    const int64_t *runs(int64_t w, int64_t h, bool outline_only);

  private:
    struct Size {
        int64_t w = 0, h = 0;
        bool outline_only = false;
        std::vector<int64_t> runs;
    };
    Size sizes_[RASTER_KNOWN_OVALS];
    int next_ = 0; // the size replaced next
};

// Drawing
void raster_line(RasterPoint from, RasterPoint to, const RasterClip &clip,
                 SpanSink &sink); // one-pixel line; the end point is not drawn
void raster_polygon(const RasterPoint *points, int count, const RasterClip &clip,
                    SpanSink &sink); // interior under the alternate rule, without the outline;
                                     // at most 64 points
void raster_oval(const RasterBox &box, bool outline_only, const RasterClip &clip, SpanSink &sink,
                 RasterOvalRows *known = nullptr); // oval in a box of at least 3 by 3: filled
                                                   // with its edge, or its one-pixel edge alone
void raster_oval_wide(const RasterBox &box, const RasterDisc &disc, int pen_width,
                      const RasterClip &clip,
                      SpanSink &sink); // edge of an oval drawn with a wide pen: the pen's disc
                                       // at every pixel of the one-pixel edge, and its band
                                       // along each diagonal step
void raster_oval_ring(const RasterBox &outer, const RasterBox &inner, const RasterClip &clip,
                      SpanSink &sink); // filled outer oval less the filled inner one
void raster_oval_band(const RasterBox &box, int pen_width, const RasterClip &clip,
                      SpanSink &sink); // edge of an oval drawn with a pen too wide to trace
                                       // disc by disc: the ring its disc's edges bound
void raster_oval_pen(const RasterBox &box, const RasterPen &pen, const RasterClip &clip,
                     SpanSink &sink); // raster_oval_wide for a pen of any width, in a box
                                      // within RASTER_OVAL_PEN_LIMIT of the surface
void raster_wide_segment(RasterPoint from, RasterPoint to, int pen_width,
                         RasterPoint (&corners)[4]); // body of a wide-pen line, caps excluded

// Pens
int raster_covering_pen(RasterPoint centre, int pen_width,
                        const RasterClip &clip); // for a pen whose disc at the point covers
                                                 // the clip, a narrower one whose disc still
                                                 // does (the platform's time grows with the
                                                 // width); any other pen unchanged

} // namespace zepha
