// Fitting the scene into the drawing and the pixels of the track, the
// footprints and the legend. Pixel positions are worked out by hand from the
// mapping column = trunc((X - OffsetX) ScaleX + 50), row likewise.

#include "fov/scene_drawing.h"

#include "platform/error.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QRect>

#include <functional>
#include <random>

namespace skarvel {
namespace {

using testing::ErrorOf;

DynamicArray<VT_Point> Corners(std::initializer_list<VT_Point> points) {
  DynamicArray<VT_Point> corners;
  corners.SetLength(static_cast<int>(points.size()));
  int i = 0;
  for (const VT_Point& p : points) corners.At(i++).CopyCoordinates(p);
  return corners;
}

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }
const QRgb kFace = qRgb(0xEF, 0xEF, 0xEF);
const QRgb kBlack = qRgb(0, 0, 0);

QRgb At(const QImage& image, int column, int row) { return image.pixel(column, row) | 0xFF000000u; }

// The smallest rectangle holding every pixel of the colour inside `area`.
QRect Extent(const QImage& image, QRgb color, const QRect& area) {
  QRect extent;
  for (int row = area.top(); row <= area.bottom(); ++row)
    for (int column = area.left(); column <= area.right(); ++column)
      if (At(image, column, row) == color) extent |= QRect(column, row, 1, 1);
  return extent;
}

int CountOf(const QImage& image, QRgb color) {
  int count = 0;
  for (int row = 0; row < image.height(); ++row)
    for (int column = 0; column < image.width(); ++column) count += At(image, column, row) == color;
  return count;
}

TEST(FitSceneView, SquareSceneFillsTheDrawingInsideTheMargin) {
  const auto corners = Corners({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}});
  const TSceneView view = FitSceneView(corners, 1024, 1024);
  EXPECT_DOUBLE_EQ(9.24, view.ScaleX);
  EXPECT_DOUBLE_EQ(9.24, view.ScaleY);
  EXPECT_EQ(-50, view.OffsetX);
  EXPECT_EQ(-50, view.OffsetY);
  EXPECT_EQ(QPoint(50, 50), ScenePixel(view, corners[0]));
  EXPECT_EQ(QPoint(974, 50), ScenePixel(view, corners[1]));
  EXPECT_EQ(QPoint(974, 974), ScenePixel(view, corners[2]));
  EXPECT_EQ(QPoint(512, 512), ScenePixel(view, VT_Point(0, 0)));
}

TEST(FitSceneView, WideSceneIsCentredVertically) {
  // 200 wide, 100 high: the X scale 924 / 200 = 4.62 decides; the scene's
  // 100 units take 462 rows, centred: rows 281 to 743.
  const auto corners = Corners({{-100, -50}, {100, -50}, {100, 50}, {-100, 50}});
  const TSceneView view = FitSceneView(corners, 1024, 1024);
  EXPECT_DOUBLE_EQ(4.62, view.ScaleX);
  EXPECT_DOUBLE_EQ(4.62, view.ScaleY);
  EXPECT_DOUBLE_EQ(-100, view.OffsetY);
  EXPECT_EQ(QPoint(50, 281), ScenePixel(view, corners[0]));
  EXPECT_EQ(QPoint(974, 743), ScenePixel(view, corners[2]));
}

TEST(FitSceneView, TallSceneIsCentredHorizontally) {
  const auto corners = Corners({{10, 0}, {60, 0}, {60, 100}, {10, 100}});
  const TSceneView view = FitSceneView(corners, 1024, 1024);
  EXPECT_DOUBLE_EQ(9.24, view.ScaleX);
  EXPECT_DOUBLE_EQ(9.24, view.ScaleY);
  // 50 units take 462 columns: 281 to 743.
  EXPECT_EQ(QPoint(281, 50), ScenePixel(view, corners[0]));
  EXPECT_EQ(QPoint(743, 974), ScenePixel(view, corners[2]));
}

TEST(FitSceneView, ExtremesComeFromAnyCornerOfAnyFootprint) {
  // The extremes lie in the second footprint and in corners other than A.
  const auto corners = Corners({{0, 0},
                                {1, 0},
                                {1, 1},
                                {0, 1},  //
                                {0.5, -2},
                                {3, 0.5},
                                {0.5, 2},
                                {-1, 0.5}});
  const TSceneView view = FitSceneView(corners, 1024, 1024);
  EXPECT_EQ(-1, view.OffsetX);
  EXPECT_EQ(-2, view.OffsetY);
  EXPECT_DOUBLE_EQ(231, view.ScaleX);  // 924 / 4 on both axes
  EXPECT_DOUBLE_EQ(231, view.ScaleY);
}

// Whatever the corners, the deciding axis spans exactly pixels 50 to 974 and
// the other axis is centred within one pixel.
TEST(FitSceneView, RandomScenesSpanTheMarginsExactly) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-1e4, 1e4), size(1e-3, 1e3);
  for (int trial = 0; trial < 2000; ++trial) {
    const double x = coordinate(random), y = coordinate(random);
    const double w = size(random), h = size(random);
    // The corners in an order that puts the extremes anywhere.
    const auto corners = Corners({{x + w / 3, y}, {x + w, y + h / 2}, {x + w / 2, y + h}, {x, y + h / 4}});
    const TSceneView view = FitSceneView(corners, 1024, 1024);
    const QPoint left = ScenePixel(view, VT_Point(x, y)), right = ScenePixel(view, VT_Point(x + w, y + h));
    SCOPED_TRACE(::testing::Message() << "trial " << trial << " w " << w << " h " << h);
    if (w / h >= 1) {
      EXPECT_EQ(50, left.x());
      EXPECT_EQ(974, right.x());
      EXPECT_NEAR(512, (left.y() + right.y()) / 2.0, 1.0);
    } else {
      EXPECT_EQ(50, left.y());
      EXPECT_EQ(974, right.y());
      EXPECT_NEAR(512, (left.x() + right.x()) / 2.0, 1.0);
    }
  }
}

TEST(FitSceneView, EmptyOrFlatScenesFail) {
  EXPECT_EQ("Index 0 out of range (length 0)", ErrorOf([] { FitSceneView({}, 1024, 1024); }));
  EXPECT_EQ("Floating point division by zero", ErrorOf([] {
              FitSceneView(Corners({{0, 0}, {0, 1}, {0, 2}, {0, 3}}), 1024, 1024);
            }));
  EXPECT_EQ("Floating point division by zero", ErrorOf([] {
              FitSceneView(Corners({{0, 5}, {1, 5}, {2, 5}, {3, 5}}), 1024, 1024);
            }));
}

TEST(ScenePixel, TruncatesTowardZeroAndHoldsFarPointsOutside) {
  const TSceneView view{1, 1, 0, 0};
  EXPECT_EQ(QPoint(0, 0), ScenePixel(view, VT_Point(-50.5, -50.9)));   // -0.5, -0.9
  EXPECT_EQ(QPoint(-1, 1), ScenePixel(view, VT_Point(-51.5, -48.1)));  // -1.5, 1.9
  // Rounding noise next to a whole pixel does not move the point.
  EXPECT_EQ(974, PixelCoordinate(973.9999999999999));
  EXPECT_EQ(-3, PixelCoordinate(-2.9999999999998));
  EXPECT_EQ(973, PixelCoordinate(973.999999));
  EXPECT_EQ(QPoint(1 << 20, -(1 << 20)), ScenePixel(view, VT_Point(1e300, -1e300)));
  // A difference beyond the double range still maps to its pixel.
  const TSceneView huge{4.62e-306, 1, -1e308, 0};  // 2e308 units over 924 columns
  EXPECT_EQ(974, ScenePixel(huge, VT_Point(1e308, 0)).x());
}

TEST(DrawTrack, LineAcrossTheDrawingAndLabelThirtyPixelsAbove) {
  QImage drawing = BlankPicture(1024, 1024);
  const TSceneView view{9.24, 9.24, -50, -50};
  DrawTrack(drawing, view, VT_Point(123, 0));  // row 512 whatever X is
  // The 2-pixel pen covers the row and the one above it, end to end.
  for (int column : {0, 1, 300, 700, 1023}) {
    EXPECT_EQ(kBlack, At(drawing, column, 511)) << column;
    EXPECT_EQ(kBlack, At(drawing, column, 512)) << column;
    EXPECT_EQ(kFace, At(drawing, column, 510)) << column;
    EXPECT_EQ(kFace, At(drawing, column, 513)) << column;
  }
  // The label's cell starts at column 20, row 482; its glyphs lie inside a
  // 20-pixel-high text line and nothing else is drawn above the line.
  const QRect label = Extent(drawing, kBlack, QRect(0, 0, 1024, 510));
  EXPECT_GE(label.top(), 482);
  EXPECT_LE(label.bottom(), 482 + 24);
  EXPECT_GE(label.left(), 20);
  EXPECT_LE(label.left(), 24);
  EXPECT_GT(label.width(), 60);  // nine characters
  // Only the background and black: no antialiasing shades.
  EXPECT_EQ(1024 * 1024, CountOf(drawing, kFace) + CountOf(drawing, kBlack));
}

TEST(DrawTrack, TrackOutsideTheDrawingIsClipped) {
  QImage drawing = BlankPicture(1024, 1024);
  DrawTrack(drawing, TSceneView{1, 1, 0, 0}, VT_Point(0, 1e12));
  DrawTrack(drawing, TSceneView{1, 1, 0, 0}, VT_Point(0, -5000));
  EXPECT_EQ(1024 * 1024, CountOf(drawing, kFace));
}

TEST(DrawFootprint, OutlineThroughTheCornerPixelsInTheExactColour) {
  QImage drawing = BlankPicture(1024, 1024);
  const TSceneView view{9.24, 9.24, -50, -50};
  // Maroon, TColor 0x000080: red 128 in the low byte.
  DrawFootprint(drawing, view, VT_Point(-50, -50), VT_Point(50, -50), VT_Point(50, 50), VT_Point(-50, 50),
                0x000080);
  const QRgb maroon = Rgb(128, 0, 0);
  for (const QPoint corner : {QPoint(50, 50), QPoint(974, 50), QPoint(974, 974), QPoint(50, 974)})
    EXPECT_EQ(maroon, At(drawing, corner.x(), corner.y())) << corner.x() << "," << corner.y();
  // An outline only: the inside stays background.
  EXPECT_EQ(kFace, At(drawing, 512, 512));
  EXPECT_EQ(kFace, At(drawing, 60, 512));
  EXPECT_EQ(maroon, At(drawing, 50, 512));
  // 2 pixels wide: the pen covers the corner pixels' row or column and the
  // one before it.
  EXPECT_EQ(QRect(QPoint(49, 49), QPoint(974, 974)), Extent(drawing, maroon, drawing.rect()));
  EXPECT_EQ(1024 * 1024, CountOf(drawing, kFace) + CountOf(drawing, maroon));
}

TEST(DrawFootprint, EveryPaletteColourIsDrawnExactly) {
  // The palette written out by colour name, independently of the table.
  const QRgb expected[17] = {Rgb(0, 255, 255),   Rgb(0, 0, 0),       Rgb(0, 0, 255),     Rgb(128, 128, 128),
                             Rgb(255, 0, 255),   Rgb(255, 255, 255), Rgb(0, 128, 0),     Rgb(0, 255, 0),
                             Rgb(192, 192, 192), Rgb(128, 0, 0),     Rgb(0, 0, 128),     Rgb(128, 128, 0),
                             Rgb(128, 0, 128),   Rgb(255, 0, 0),     Rgb(192, 192, 192), Rgb(0, 128, 128),
                             Rgb(255, 255, 0)};
  const TSceneView view{1, 1, 0, 0};
  for (int i = 0; i < 17; ++i) {
    QImage drawing = BlankPicture(200, 200);
    DrawFootprint(drawing, view, VT_Point(0, 0), VT_Point(100, 0), VT_Point(100, 100), VT_Point(0, 100),
                  PaletteColor(i));
    EXPECT_EQ(expected[i], At(drawing, 150, 150)) << "palette index " << i;
  }
  EXPECT_EQ(PaletteColor(0), PaletteColor(17));
}

TEST(LegendLabel, TextBeforeTheFirstOrtLessOneCharacter) {
  EXPECT_EQ("frame1", LegendLabel("frame1.ort"));
  EXPECT_EQ("re", LegendLabel("report.ort"));
  EXPECT_EQ("data\\frame1", LegendLabel("data\\frame1.ort"));
  EXPECT_EQ("Кадр 5", LegendLabel("Кадр 5.ort"));
  EXPECT_EQ("", LegendLabel("frame1.geo"));
  EXPECT_EQ("", LegendLabel("ort.txt"));
  EXPECT_EQ("", LegendLabel("FRAME.ORT"));
  EXPECT_EQ("", LegendLabel(""));
}

TEST(DrawLegendEntry, TwoColumnsAndARowPerSecondEntry) {
  QImage legend = BlankPicture(650, 60);
  const QRgb red = Rgb(255, 0, 0), blue = Rgb(0, 0, 255), green = Rgb(0, 128, 0);
  DrawLegendEntry(legend, 0x0000FF, "frame1.ort", 1);
  EXPECT_EQ(60, legend.height());
  DrawLegendEntry(legend, 0xFF0000, "frame2.ort", 2);
  EXPECT_EQ(90, legend.height());
  DrawLegendEntry(legend, 0x008000, "frame3.ort", 1);
  EXPECT_EQ(90, legend.height());
  EXPECT_EQ(650, legend.width());

  // Lines of 100 pixels, one pixel high: columns 50-149 or 350-449 on row
  // H - 30 of the height when the entry was drawn.
  EXPECT_EQ(QRect(50, 30, 100, 1), Extent(legend, red, legend.rect()));
  EXPECT_EQ(QRect(350, 30, 100, 1), Extent(legend, blue, legend.rect()));
  EXPECT_EQ(QRect(50, 60, 100, 1), Extent(legend, green, legend.rect()));
  // Labels: text cells from (180, H - 38) and (480, H - 38).
  const QRect label1 = Extent(legend, kBlack, QRect(150, 0, 200, 50));
  const QRect label2 = Extent(legend, kBlack, QRect(450, 0, 200, 50));
  const QRect label3 = Extent(legend, kBlack, QRect(150, 50, 200, 40));
  for (const QRect& label : {label1, label2, label3}) {
    ASSERT_FALSE(label.isEmpty());
    EXPECT_LE(label.height(), 16);
  }
  EXPECT_GE(label1.left(), 180);
  EXPECT_LE(label1.left(), 183);
  EXPECT_GE(label1.top(), 22);
  EXPECT_GE(label2.left(), 480);
  EXPECT_LE(label2.left(), 483);
  EXPECT_GE(label3.top(), 52);
  // The row added below the last entry is background.
  EXPECT_EQ(QRect(), Extent(legend, kBlack, QRect(0, 75, 650, 15)));
}

TEST(DrawLegendEntry, EmptyLabelDrawsOnlyTheLine) {
  QImage legend = BlankPicture(650, 60);
  DrawLegendEntry(legend, 0x000000, "frame1.txt", 2);
  EXPECT_EQ(QRect(350, 30, 100, 1), Extent(legend, kBlack, legend.rect()));
}

}  // namespace
}  // namespace skarvel
