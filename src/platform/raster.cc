#include "platform/raster.h"

#include "platform/error.h"
#include "platform/files.h"

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

// The file's cell (column, row) of the grid's cell.
long long FileIndex(const GridGeometry& g, int column, int row) {
  const int fileColumn = g.columnsReversed ? g.columns - 1 - column : column;
  const int fileRow = g.rowsUpward ? row : g.rows - 1 - row;
  return static_cast<long long>(fileRow) * g.columns + fileColumn;
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

  GDALRasterBand* band = dataset->GetRasterBand(1);
  std::vector<double> stored(static_cast<size_t>(cells));
  if (band->RasterIO(GF_Read, 0, 0, g.columns, g.rows, stored.data(), g.columns, g.rows, GDT_Float64, 0, 0,
                     nullptr) != CE_None)
    HeightMapFails(fileName, WithDetail(QStringLiteral("значения не читаются")));
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);

  map.z.resize(static_cast<size_t>(cells));
  for (int row = 0; row < g.rows; ++row) {
    for (int column = 0; column < g.columns; ++column) {
      const double value = stored[static_cast<size_t>(FileIndex(g, column, row))];
      double& z = map.z[static_cast<size_t>(row) * g.columns + column];
      if (std::isnan(value) || (hasNoData && value == noData)) {
        z = 0;
        ++map.noDataCells;
        continue;
      }
      z = value * zScale;
      if (!std::isfinite(z))
        HeightMapFails(fileName,
                       QStringLiteral("высота ячейки (%1, %2) вне диапазона чисел").arg(column).arg(row));
    }
  }
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

  // Stored as 32-bit signed integers, which every reader of ASCII grids
  // takes as integers (a count never comes near their limit).
  const GDALDatasetUniquePtr source(
      WriterDriver("MEM", fileName).Create("", grid.columns, grid.rows, 1, GDT_Int32, nullptr));
  if (source == nullptr) throw Error(messages::CannotCreateFile(fileName));
  std::array<double, 6> transform = order.GeoTransform();
  source->SetGeoTransform(transform.data());
  std::vector<std::int32_t> stored(counts.size());
  for (int row = 0; row < grid.rows; ++row)
    for (int column = 0; column < grid.columns; ++column)
      stored[static_cast<size_t>(FileIndex(order, column, row))] = static_cast<std::int32_t>(
          std::min<std::uint32_t>(counts[static_cast<size_t>(row) * grid.columns + column],
                                  std::numeric_limits<std::int32_t>::max()));
  if (source->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, grid.columns, grid.rows, stored.data(), grid.columns,
                                         grid.rows, GDT_Int32, 0, 0, nullptr) != CE_None)
    throw Error(messages::CannotCreateFile(fileName));

  // GDAL writes into memory; the bytes then go through the atomic writer.
  static std::atomic<int> serial{0};
  const QByteArray folder = QStringLiteral("/vsimem/skarvel_coverage_%1/").arg(serial++).toUtf8();
  const QByteArray memoryName = folder + (tiff ? "coverage.tif" : "coverage.asc");
  struct Cleanup {
    QByteArray folder;
    ~Cleanup() { VSIRmdirRecursive(folder.constData()); }
  } cleanup{folder};
  VSIMkdir(folder.constData(), 0755);
  CPLStringList options;
  if (tiff) options.SetNameValue("COMPRESS", "DEFLATE");
  GDALDatasetUniquePtr written(
      WriterDriver(tiff ? "GTiff" : "AAIGrid", fileName)
          .CreateCopy(memoryName.constData(), source.get(), FALSE, options.List(), nullptr, nullptr));
  if (written == nullptr || !Close(std::move(written))) throw Error(messages::CannotCreateFile(fileName));
  vsi_l_offset length = 0;
  const GByte* bytes = VSIGetMemFileBuffer(memoryName.constData(), &length, FALSE);
  if (bytes == nullptr) throw Error(messages::CannotCreateFile(fileName));
  group.Add(fileName, [&](const ByteSink& sink) {
    sink(reinterpret_cast<const char*>(bytes), static_cast<qint64>(length));
  });
}

}  // namespace skarvel
