#include "platform/raster.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/parallel.h"

#include <QFileInfo>

#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>

namespace skarvel {

namespace {

// Height maps larger than this many cells do not fit the memory of the
// machines the system runs on (8 bytes a cell, and the pyramid over it).
constexpr long long kMaxCells = 1LL << 26;

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's messages go to the error raised, never to standard error.
class QuietErrors {
 public:
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  static QString Last() { return QString::fromUtf8(CPLGetLastErrorMsg()).trimmed(); }
};

// Closes a dataset now (a writer's data is complete only then); true when
// that worked.
bool Close(GDALDatasetUniquePtr dataset) {
  CPLErrorReset();
  dataset.reset();
  return CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
}

// A writing driver; one this GDAL lacks fails the write as any other fault.
GDALDriver& WriterDriver(const char* name, const QString& fileName) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(name);
  if (driver == nullptr) throw Error(messages::CannotCreateFile(fileName));
  return *driver;
}

[[noreturn]] void HeightMapFails(const QString& fileName, const QString& reason) {
  throw Error(QStringLiteral("Ошибка чтения карты высот %1: %2").arg(fileName, reason));
}

QString WithDetail(const QString& reason) {
  const QString detail = QuietErrors::Last();
  return detail.isEmpty() ? reason : QStringLiteral("%1 (%2)").arg(reason, detail);
}

}  // namespace

std::array<double, 6> GridGeometry::GeoTransform() const {
  return {columnsReversed ? maxX() : originX,
          columnsReversed ? -cellX : cellX,
          0,
          rowsUpward ? originY : maxY(),
          0,
          rowsUpward ? cellY : -cellY};
}

HeightMap ReadHeightMap(const QString& fileName, double zScale) {
  RegisterDrivers();
  QuietErrors quiet;
  if (!QFileInfo(fileName).isFile()) HeightMapFails(fileName, QStringLiteral("файл не найден"));
  const GDALDatasetUniquePtr dataset(
      GDALDataset::Open(fileName.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (dataset == nullptr) HeightMapFails(fileName, WithDetail(QStringLiteral("файл не читается как растр")));
  if (dataset->GetRasterCount() < 1) HeightMapFails(fileName, QStringLiteral("в файле нет ни одного канала"));

  HeightMap map;
  GridGeometry& g = map.grid;
  g.columns = dataset->GetRasterXSize();
  g.rows = dataset->GetRasterYSize();
  const long long cells = static_cast<long long>(g.columns) * g.rows;
  if (g.columns < 1 || g.rows < 1) HeightMapFails(fileName, QStringLiteral("в растре нет ни одной ячейки"));
  if (cells > kMaxCells) HeightMapFails(fileName, QStringLiteral("растр больше %1 ячеек").arg(kMaxCells));

  // Without a geotransform GDAL gives cells of size 1 from (0, 0), rows
  // running toward larger Y.
  double t[6];
  dataset->GetGeoTransform(t);
  if (t[2] != 0 || t[4] != 0)
    HeightMapFails(fileName, QStringLiteral("геопривязка повёрнута относительно осей сцены"));
  if (!(std::isfinite(t[0]) && std::isfinite(t[3]) && std::isfinite(t[1]) && std::isfinite(t[5])) ||
      t[1] == 0 || t[5] == 0)
    HeightMapFails(fileName, QStringLiteral("размер ячейки в геопривязке нулевой или не число"));
  g.columnsReversed = t[1] < 0;
  g.rowsUpward = t[5] > 0;
  g.cellX = std::fabs(t[1]);
  g.cellY = std::fabs(t[5]);
  g.originX = g.columnsReversed ? t[0] + g.columns * t[1] : t[0];
  g.originY = g.rowsUpward ? t[3] : t[3] + g.rows * t[5];
  if (!std::isfinite(g.originX) || !std::isfinite(g.originY) || !std::isfinite(g.maxX()) ||
      !std::isfinite(g.maxY()))
    HeightMapFails(fileName, QStringLiteral("геопривязка вне диапазона чисел"));

  int hasNoData = 0;
  const double noData = dataset->GetRasterBand(1)->GetNoDataValue(&hasNoData);
  // Strips of the file's rows, shared between the cores: each range reads
  // through a dataset of its own (a dataset serves one thread at a time) a
  // strip at a time, dropped from GDAL's block cache once taken, and writes
  // the values in their place, which is the first touch of the map's memory:
  // no second map-sized copy, no zeroing beforehand.
  map.z.resize(static_cast<size_t>(cells));
  constexpr int kStripRows = 64;
  const int strips = (g.rows + kStripRows - 1) / kStripRows;
  // The first cell out of the range of numbers in the grid's order (row,
  // column), as the message names it.
  long long badCell = cells;
  std::mutex merge;
  ForEachRange(strips, 8, [&](int firstStrip, int endStrip) {
    const QuietErrors quietHere;  // GDAL's error handlers are per thread
    GDALDatasetUniquePtr own;
    GDALDataset* source = dataset.get();
    if (firstStrip > 0) {
      own.reset(GDALDataset::Open(fileName.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY));
      if (own == nullptr || own->GetRasterXSize() != g.columns || own->GetRasterYSize() != g.rows ||
          own->GetRasterCount() < 1)
        HeightMapFails(fileName, WithDetail(QStringLiteral("значения не читаются")));
      source = own.get();
    }
    GDALRasterBand* band = source->GetRasterBand(1);
    const int rowsHere = std::min(g.rows - firstStrip * kStripRows, (endStrip - firstStrip) * kStripRows);
    const size_t stripValues = static_cast<size_t>(std::min(kStripRows, rowsHere)) * g.columns;
    long long noDataHere = 0, badHere = cells;
    // Read as what they are stored as when that is 32-bit floats (GDAL then
    // copies them as they are; each becomes the same double below), else as
    // doubles.
    const auto readStrips = [&](auto* stored, GDALDataType type) {
      for (int first = firstStrip * kStripRows; first < std::min(endStrip * kStripRows, g.rows);
           first += kStripRows) {
        const int count = std::min(kStripRows, g.rows - first);
        if (band->RasterIO(GF_Read, 0, first, g.columns, count, stored, g.columns, count, type, 0, 0,
                           nullptr) != CE_None)
          HeightMapFails(fileName, WithDetail(QStringLiteral("значения не читаются")));
        band->FlushCache(false);
        for (int fileRow = first; fileRow < first + count; ++fileRow) {
          const int row = g.rowsUpward ? fileRow : g.rows - 1 - fileRow;
          const auto* line = stored + static_cast<size_t>(fileRow - first) * g.columns;
          double* out = map.z.data() + static_cast<size_t>(row) * g.columns;
          for (int fileColumn = 0; fileColumn < g.columns; ++fileColumn) {
            const int column = g.columnsReversed ? g.columns - 1 - fileColumn : fileColumn;
            const double value = line[fileColumn];
            double& z = out[column];
            if (std::isnan(value) || (hasNoData && value == noData)) {
              z = 0;
              ++noDataHere;
              continue;
            }
            z = value * zScale;
            if (!std::isfinite(z))
              badHere = std::min(badHere, static_cast<long long>(row) * g.columns + column);
          }
        }
      }
    };
    if (band->GetRasterDataType() == GDT_Float32) {
      std::vector<float> stored(stripValues);
      readStrips(stored.data(), GDT_Float32);
    } else {
      std::vector<double> stored(stripValues);
      readStrips(stored.data(), GDT_Float64);
    }
    const std::lock_guard<std::mutex> lock(merge);
    map.noDataCells += noDataHere;
    badCell = std::min(badCell, badHere);
  });
  if (badCell < cells)
    HeightMapFails(fileName, QStringLiteral("высота ячейки (%1, %2) вне диапазона чисел")
                                 .arg(badCell % g.columns)
                                 .arg(badCell / g.columns));
  return map;
}

void WriteCountRaster(const QString& fileName, const GridGeometry& grid,
                      const std::vector<std::uint32_t>& counts) {
  FileCommitGroup group;
  AddCountRaster(group, fileName, grid, counts);
  group.Commit();
}

void AddCountRaster(FileCommitGroup& group, const QString& fileName, const GridGeometry& grid,
                    const std::vector<std::uint32_t>& counts) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  const bool tiff = suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
  if (!tiff && suffix != QLatin1String("asc"))
    throw Error(QStringLiteral("Карта покрытия записывается в файл .tif или .asc: %1").arg(fileName));
  if (grid.columns < 1 || grid.rows < 1 ||
      counts.size() != static_cast<size_t>(grid.columns) * static_cast<size_t>(grid.rows))
    throw Error(QStringLiteral("Карта покрытия не соответствует своей сетке: %1").arg(fileName));
  RegisterDrivers();
  QuietErrors quiet;

  // An ASCII grid runs from its top row and left column.
  GridGeometry order = grid;
  if (!tiff) order.columnsReversed = order.rowsUpward = false;

  // GDAL writes into memory; the bytes then go through the atomic writer.
  static std::atomic<int> serial{0};
  const QByteArray folder = QStringLiteral("/vsimem/skarvel_coverage_%1/").arg(serial++).toUtf8();
  const QByteArray memoryName = folder + (tiff ? "coverage.tif" : "coverage.asc");
  struct Cleanup {
    QByteArray folder;
    ~Cleanup() { VSIRmdirRecursive(folder.constData()); }
  } cleanup{folder};
  VSIMkdir(folder.constData(), 0755);

  // Stored as 32-bit signed integers, which every reader of ASCII grids
  // takes as integers (a count never comes near their limit). A GeoTIFF is
  // Deflate-compressed in strips of 64 rows, on every core, each strip handed
  // to the driver as a block as soon as it is made from the counts: no
  // map-sized copy of the counts in a dataset, none in GDAL's block cache
  // (a third less time than writing through it). Deflate at its default
  // level: GDAL's libdeflate at level 1 takes twice as long over the long
  // runs of zeros of a map mostly out of view (44 ms against 20 ms for 16 MiB
  // of them), for files a tenth larger. An ASCII grid can only be made as a
  // copy of a whole dataset.
  constexpr int kTiffStripRows = 64;
  CPLStringList tiffOptions;
  tiffOptions.SetNameValue("COMPRESS", "DEFLATE");
  tiffOptions.SetNameValue("BLOCKYSIZE", QByteArray::number(kTiffStripRows).constData());
  tiffOptions.SetNameValue("NUM_THREADS", QByteArray::number(WorkerCount()).constData());
  GDALDatasetUniquePtr dataset(
      tiff ? WriterDriver("GTiff", fileName)
                 .Create(memoryName.constData(), grid.columns, grid.rows, 1, GDT_Int32, tiffOptions.List())
           : WriterDriver("MEM", fileName).Create("", grid.columns, grid.rows, 1, GDT_Int32, nullptr));
  if (dataset == nullptr) throw Error(messages::CannotCreateFile(fileName));
  std::array<double, 6> transform = order.GeoTransform();
  dataset->SetGeoTransform(transform.data());
  GDALRasterBand* band = dataset->GetRasterBand(1);
  // A GeoTIFF's strips go to the driver whole, a block each (the last one
  // padded with zeros it does not store).
  int blockColumns = 0, blockRows = 0;
  band->GetBlockSize(&blockColumns, &blockRows);
  if (tiff && (blockColumns != grid.columns || blockRows != std::min(kTiffStripRows, grid.rows)))
    throw Error(messages::CannotCreateFile(fileName));
  const int stripRows = tiff ? blockRows : 64;
  std::vector<std::int32_t> stored(static_cast<size_t>(std::min(stripRows, grid.rows)) * grid.columns);
  for (int first = 0; first < grid.rows; first += stripRows) {
    const int count = std::min(stripRows, grid.rows - first);
    if (tiff && count < stripRows)
      std::fill(stored.begin() + static_cast<ptrdiff_t>(count) * grid.columns, stored.end(), 0);
    for (int fileRow = first; fileRow < first + count; ++fileRow) {
      const int row = order.rowsUpward ? fileRow : grid.rows - 1 - fileRow;
      const std::uint32_t* line = counts.data() + static_cast<size_t>(row) * grid.columns;
      std::int32_t* out = stored.data() + static_cast<size_t>(fileRow - first) * grid.columns;
      for (int column = 0; column < grid.columns; ++column)
        out[order.columnsReversed ? grid.columns - 1 - column : column] = static_cast<std::int32_t>(
            std::min<std::uint32_t>(line[column], std::numeric_limits<std::int32_t>::max()));
    }
    if (tiff ? band->WriteBlock(0, first / stripRows, stored.data()) != CE_None
             : band->RasterIO(GF_Write, 0, first, grid.columns, count, stored.data(), grid.columns, count,
                              GDT_Int32, 0, 0, nullptr) != CE_None)
      throw Error(messages::CannotCreateFile(fileName));
  }
  if (!tiff) {
    dataset = GDALDatasetUniquePtr(
        WriterDriver("AAIGrid", fileName)
            .CreateCopy(memoryName.constData(), dataset.get(), FALSE, nullptr, nullptr, nullptr));
    if (dataset == nullptr) throw Error(messages::CannotCreateFile(fileName));
  }
  if (!Close(std::move(dataset))) throw Error(messages::CannotCreateFile(fileName));
  vsi_l_offset length = 0;
  const GByte* bytes = VSIGetMemFileBuffer(memoryName.constData(), &length, FALSE);
  if (bytes == nullptr) throw Error(messages::CannotCreateFile(fileName));
  group.Add(fileName, [&](const ByteSink& sink) {
    sink(reinterpret_cast<const char*>(bytes), static_cast<qint64>(length));
  });
}

}  // namespace skarvel
