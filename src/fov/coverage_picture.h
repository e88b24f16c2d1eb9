#pragma once
// The coverage map as a picture: the relief as a hill shade underneath, each
// cell coloured by the number of frames that see it, cells that some frame's
// view holds but no frame sees shaded dark, cells outside every view hatched,
// the relief outlines of the frames drawn over it and a legend of the counts
// below.
//
// Layout: the map's cells as squares of `CoverageCellPixels` pixels, column
// 0 (least X) on the left and the greatest Y at the top, as on the
// field-of-view drawing; the legend is a band of kCoverageLegendHeight pixels
// under the map.

#include "footprints/footprint_figures.h"
#include "platform/raster.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace skarvel {

inline constexpr int kCoverageLegendHeight = 40;

// Pixels per cell side: whole pixels, so that the map is at least 512 pixels
// across its longer side (one pixel a cell from 512 cells on).
int CoverageCellPixels(const GridGeometry& grid);

// `counts` and `hidden` as ComputeCoverage gives them (row-major, row 0 at
// the least Y); `figures` the frames' relief figures (their outlines drawn).
QImage CoveragePicture(const HeightMap& relief, const std::vector<std::uint32_t>& counts,
                       const std::vector<std::uint32_t>& hidden, const std::vector<FrameRelief>& figures);

}  // namespace skarvel
