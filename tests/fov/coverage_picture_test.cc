// The coverage picture: what each cell shows, the hill shade of either
// surface model, and a legend whose swatches are the map's own fills.

#include "fov/coverage_picture.h"
#include "support/test_support.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace skarvel {
namespace {

HeightMap Map(int columns, int rows, double cell, const std::function<double(int, int)>& height) {
  HeightMap map;
  map.grid = {columns, rows, 0, 0, cell, cell};
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) map.z.push_back(height(c, r));
  return map;
}

bool Grey(QColor c) { return c.red() == c.green() && c.green() == c.blue(); }

TEST(CoveragePicture, CellsAreColouredByWhatSeesThem) {
  // Two by two cells of a flat map: grid row 0 (the least Y) is drawn at the
  // bottom, 256 pixels a cell; the legend is not part of the picture.
  const HeightMap map = Map(2, 2, 1, [](int, int) { return 0.0; });
  for (ReliefSurfaceModel model : {ReliefSurfaceModel::kBilinear, ReliefSurfaceModel::kBlocks}) {
    const QImage picture = CoveragePicture(map, {1, 0, 0, 3}, {0, 2, 0, 0}, {}, model);
    ASSERT_EQ(QSize(512, 512), picture.size());
    struct Row {
      QPoint pixel;
      std::function<bool(QColor)> test;
      const char* why;
    } rows[] = {
        {{100, 400},
         [](QColor c) { return c.blue() > c.red() + 50 && c.blue() > c.green(); },
         "seen once: blue"},
        {{400, 100},
         [](QColor c) { return c.red() > c.blue() + 50 && c.green() > c.blue() + 50; },
         "three: yellow"},
        {{400, 400},
         [](QColor c) { return c.red() > c.green() + 40 && c.blue() > c.green() + 40; },
         "hidden: purple"},
        {{101, 101},
         [](QColor c) { return Grey(c) && c.red() == kLevelShade; },
         "in no view: the level shade"},
        {{101, 103}, [](QColor c) { return Grey(c) && c.red() < 150; }, "in no view: hatched"},
    };
    for (const Row& row : rows) EXPECT_TRUE(row.test(picture.pixelColor(row.pixel))) << row.why;
  }
  EXPECT_NE("(no error)", testing::ErrorOf([&] { CoveragePicture(map, {1, 2, 3}, {0, 0, 0, 0}, {}); }));
}

TEST(CoveragePicture, HiddenCellsStandApartFromTheDarkestShadow) {
  // Whatever the ground's shade, a hidden cell is never a grey: the hill
  // shade's shadows are.
  for (int shade = 0; shade <= 255; ++shade) {
    const QColor hidden = QColor::fromRgb(CoverageFill({0, true}, shade, 1, 1));
    EXPECT_GE(std::min(hidden.red(), hidden.blue()) - hidden.green(), 40) << "shade " << shade;
    EXPECT_NE(hidden.rgb(), CoverageFill({0, false}, shade, 1, 1)) << "shade " << shade;
  }
}

TEST(CoveragePicture, TheHillShadeFollowsTheSurfaceModel) {
  // One raised cell in the middle of five by five, 103 pixels a cell. Over
  // blocks every cell has one tone, the raised one level (its neighbours on
  // either side are equal); over the bilinear surface the raised cell is a
  // peak: lit on its side towards the light (upper left), dark on the other,
  // and the tone runs on smoothly into the next cell.
  const HeightMap map = Map(5, 5, 1, [](int c, int r) { return c == 2 && r == 2 ? 1.0 : 0.0; });
  const std::vector<std::uint32_t> seen(25, 1), none(25, 0);
  const int k = CoverageCellPixels(map.grid);
  ASSERT_EQ(k, 103);
  const auto grey = [](const QImage& picture, int x, int y) {
    // Seen once: the blue blended over the shade; the red channel follows the shade.
    return QColor(picture.pixel(x, y)).red();
  };
  const int middle = 2 * k + k / 2;
  struct Case {
    ReliefSurfaceModel model;
    bool toneWithinTheCell;  // the raised cell's pixels differ
  } cases[] = {{ReliefSurfaceModel::kBlocks, false}, {ReliefSurfaceModel::kBilinear, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model == ReliefSurfaceModel::kBlocks ? "blocks" : "bilinear");
    const QImage picture = CoveragePicture(map, seen, none, {}, c.model);
    const QImage level = CoveragePicture(Map(5, 5, 1, [](int, int) { return 0.0; }), seen, none, {}, c.model);
    const int flat = grey(level, middle, middle);
    std::set<int> tones;
    for (int y = 2 * k; y < 3 * k; y += 7)
      for (int x = 2 * k; x < 3 * k; x += 7) tones.insert(grey(picture, x, y));
    const int litSide = grey(picture, middle - k / 4, middle - k / 4);
    const int farSide = grey(picture, middle + k / 4, middle + k / 4);
    if (c.toneWithinTheCell) {
      EXPECT_GT(tones.size(), 10u);
      EXPECT_GT(litSide, flat + 10);
      EXPECT_LT(farSide, flat - 10);
      // Across the border into the cell on the left the tone does not jump.
      EXPECT_LE(std::abs(grey(picture, 2 * k, middle) - grey(picture, 2 * k - 1, middle)), 3);
    } else {
      EXPECT_EQ(tones, std::set<int>({flat}));
      EXPECT_GT(grey(picture, 2 * k - 1, middle), flat + 10) << "the cell west of the block, lit";
    }
  }
}

TEST(CoverageLegend, ItsSwatchesAreTheMapsFillsOnLevelGround) {
  // A level map with a cell of each kind the legend names.
  const std::vector<std::uint32_t> counts = {1, 2, 3, 4, 7, 0, 0}, hidden = {0, 0, 0, 0, 0, 3, 0};
  const HeightMap map = Map(7, 1, 1, [](int, int) { return 0.0; });
  const QImage picture = CoveragePicture(map, counts, hidden, {});
  const int k = CoverageCellPixels(map.grid);
  QFont font = QGuiApplication::font();
  const QSize size = CoverageLegendSize(font);
  QImage legend(size, QImage::Format_RGB32);
  legend.fill(Qt::black);
  {
    QPainter painter(&legend);
    PaintCoverageLegend(painter, font);
  }
  std::set<QRgb> legendColours;
  for (int y = 0; y < legend.height(); ++y)
    for (int x = 0; x < legend.width(); ++x) legendColours.insert(legend.pixel(x, y));
  for (int cell = 0; cell < 7; ++cell) {
    SCOPED_TRACE(cell);
    // Every colour of the cell on the map is in the legend: the unseen
    // cell's level grey and its hatching alike.
    std::set<QRgb> cellColours;
    for (int y = 0; y < k; ++y)
      for (int x = cell * k; x < (cell + 1) * k; ++x) cellColours.insert(picture.pixel(x, y));
    EXPECT_EQ(cellColours.size(), cell == 6 ? 2u : 1u);
    for (QRgb colour : cellColours) EXPECT_TRUE(legendColours.count(colour)) << std::hex << colour;
  }
  // Two lines of the font (the caption and the swatches), whatever the map.
  const QFontMetrics metrics(font);
  EXPECT_GE(size.height(), 2 * metrics.height());
  EXPECT_GE(size.width(), metrics.horizontalAdvance(CoverageLegendCaption()));
  font.setPixelSize(30);
  EXPECT_GT(CoverageLegendSize(font).height(), size.height()) << "it grows with its font alone";
}

}  // namespace
}  // namespace skarvel
