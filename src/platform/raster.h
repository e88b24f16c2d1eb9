#pragma once
// Rasters on the scene plane: reading a height map and writing a grid of
// counts, through GDAL.
//
// A raster's geotransform places its cells in scene X and Y, Y upward (the
// scene's own Y, not the negated Y of the corner lines), in the units of the
// image geometry files. Only axis-aligned geotransforms are taken (no
// rotation terms). In memory a grid always runs the same way, whatever the
// file's order: column 0 at the least X, row 0 at the least Y, cell (c, r)
// covering X in [originX + c cellX, originX + (c + 1) cellX) and Y likewise.
// The file's own order is kept beside it, so that a grid written back lies
// cell for cell on the raster it was read from.

#include "platform/files.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace skarvel {

// std::allocator, except that resize() and the size constructor leave the
// new elements unset: a map-sized buffer is first written where it is
// filled, on every core, rather than zeroed on one beforehand (the first
// write to fresh memory is the kernel clearing it, on the core that writes).
template <typename T>
struct UnsetAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <typename U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
};

// A height map's values: resize() leaves them unset.
using HeightValues = std::vector<double, UnsetAllocator<double>>;

struct GridGeometry {
  int columns = 0;
  int rows = 0;
  double originX = 0;  // least X of the grid
  double originY = 0;  // least Y of the grid
  double cellX = 0;    // > 0
  double cellY = 0;    // > 0
  // The file's order: its column 0 at the greatest X, its row 0 at the
  // least Y (a geotransform with a positive row step).
  bool columnsReversed = false;
  bool rowsUpward = false;

  double maxX() const { return originX + columns * cellX; }
  double maxY() const { return originY + rows * cellY; }
  // The GDAL geotransform of the file's order.
  std::array<double, 6> GeoTransform() const;
};

struct HeightMap {
  GridGeometry grid;
  // Surface Z per cell, row-major in the grid's order (row 0 at the least Y),
  // the stored value times the Z scale; no-data cells hold 0.
  HeightValues z;
  long long noDataCells = 0;
};

// Reads band 1 of any raster GDAL reads. A file that cannot be read, has no
// band, a rotated or degenerate geotransform, more cells than memory allows
// or a value that is not a number after scaling raises skarvel::Error with
// "Ошибка чтения карты высот <file>: <reason>".
HeightMap ReadHeightMap(const QString& fileName, double zScale = 1);

// Writes counts (row-major in the grid's order) as a one-band raster of the
// grid, by the extension: ".tif"/".tiff" a GeoTIFF in the file's order of
// the grid, ".asc" an ESRI ASCII grid (which runs from the top row). The file
// is replaced atomically; any other extension raises before anything is
// written.
void WriteCountRaster(const QString& fileName, const GridGeometry& grid,
                      const std::vector<std::uint32_t>& counts);
// The same file written into `group`, put in place when the group is
// committed (the extension is checked before anything is written).
void AddCountRaster(FileCommitGroup& group, const QString& fileName, const GridGeometry& grid,
                    const std::vector<std::uint32_t>& counts);

}  // namespace skarvel
