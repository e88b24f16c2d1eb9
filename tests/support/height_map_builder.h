#pragma once
// Height maps made in a test: a grid of square cells filled by a function
// of the cell's column and row.

#include "platform/raster.h"

#include <functional>

namespace skarvel::testing {

inline HeightMap MapOf(int columns, int rows, double x0, double y0, double cell,
                       const std::function<double(int, int)>& height) {
  HeightMap map;
  map.grid = {columns, rows, x0, y0, cell, cell};
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) map.z.push_back(height(c, r));
  return map;
}

}  // namespace skarvel::testing
