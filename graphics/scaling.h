#pragma once
// Geometry kernels: the nearest-neighbour scaled copy, the rotating copy in
// 16.16 fixed point, the bilinear smooth scaled copy in 14-bit fixed point
// (the only graphics code that uses worker threads), and the mosaic. Like the
// pixel kernels they take looked-up pages and return the changed destination
// rectangle; change marks are the caller's.

#include <cstdint>

#include "graphics/page.h"
#include "graphics/rect.h"

namespace tavelo::graphics {

// Scaled copy by error terms: each axis maps source length S onto
// destination length D with integer error terms only. Clipping at a page edge
// cuts the other rectangle in proportion. 24->8 draws nothing; alpha pages
// are scaled the same way when both are given.
Rect scaled_copy(const Page& src, const Page* src_alpha, Rect source, Page& dst, Page* dst_alpha, Rect destination);

// Rotating and scaling copy about the two rectangles' centres (angle in
// degrees, scales 1.0 = unscaled). A whole number of turns falls back to the
// centred plain copy (scales 1) or the smooth scaled copy. A given
// destination alpha page receives the source's alpha (or 0, opaque, when the
// source has none) wherever pixels were drawn.
Rect rotated_copy(const Page& src, const Page* src_alpha, Rect source, Page& dst, Page* dst_alpha, Rect destination,
                  float angle, float scale_x, float scale_y);

enum class Threading {
  Auto,           // bands on worker threads for large jobs
  CallingThread,  // everything on the caller (benchmarks, tests)
};

struct SmoothCopyResult {
  Rect drawn;                  // destination rectangle actually written
  int32_t bands = 0;           // horizontal bands the rows were split into
  int32_t worker_threads = 0;  // threads started besides the caller
  bool supported = true;       // false for a depth pair it cannot draw
};

// Bilinear scaled copy; both pages must have the same depth (24->24 or
// 8->8, where indices are interpolated). Destination columns and rows whose
// source position falls before the source rectangle or reaches its last
// pixel are left alone.
SmoothCopyResult smooth_scaled_copy(const Page& src, Rect source, Page& dst, Rect destination, float scale_x,
                                    float scale_y, Threading threading = Threading::Auto);
// Bands for a job of this many destination rows: 1 below 100 rows, else 4
// with more than 3 processors, 2 with 2 or 3, and 1 otherwise.
int32_t smooth_copy_bands(int32_t rows, unsigned processors);

// Tiles of size x size in the colour averaged from three random source
// pixels of the tile, the grid centred on the rectangle. 24-bit pages only;
// a size below 1 draws nothing. random_state is advanced.
Rect mosaic(const Page& src, Rect source, Page& dst, int32_t dst_x, int32_t dst_y, int32_t size,
            uint32_t& random_state);

}  // namespace tavelo::graphics
