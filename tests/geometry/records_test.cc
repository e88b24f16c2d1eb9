#include "geometry/records.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(PointArray, SetLengthKeepsCoordinatesButNotColours) {
  DynamicArray<VT_Point> points;
  points.SetLength(2);
  points[0] = VT_Point(1, 2);
  points[0].Color = 0x123456;
  points[1] = VT_Point(3, 4);
  points.SetLength(6);
  ASSERT_EQ(points.Length(), 6);
  EXPECT_EQ(points[0].X, 1);
  EXPECT_EQ(points[1].Y, 4);
  EXPECT_EQ(points[0].Color, 0);  // colours do not travel with coordinates
  for (int i = 2; i < 6; ++i) EXPECT_EQ(points[i].X + points[i].Y, 0);
  points.SetLength(1);
  EXPECT_EQ(points.Length(), 1);
  EXPECT_EQ(points[0].X, 1);
  points.SetLength(0);
  EXPECT_EQ(points.Length(), 0);
}

TEST(PointArray, CopiesShareStorageUntilResized) {
  DynamicArray<VT_Point> a;
  a.SetLength(1);
  DynamicArray<VT_Point> b = a;
  b[0].X = 7;
  EXPECT_EQ(a[0].X, 7);
  b.SetLength(2);  // new storage for b only
  b[0].X = 8;
  EXPECT_EQ(a[0].X, 7);
}

TEST(PointArray, OutOfRangeIndexNamesIndexAndLength) {
  DynamicArray<VT_Point> points;
  try {
    points.At(0);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Index 0 out of range (length 0)"));
  }
  points.SetLength(4);
  EXPECT_THROW(points.At(4), Error);
  EXPECT_THROW(points.At(-1), Error);
  EXPECT_NO_THROW(points.At(3));
}

TEST(StringArray, ResizingKeepsTheFirstStrings) {
  TStringDynArray names;
  names.SetLength(1);
  names[0] = "frame1.ort";
  names.SetLength(3);
  EXPECT_EQ(names[0], "frame1.ort");
  EXPECT_TRUE(names[2].isEmpty());
}

TEST(Point, CopyCoordinatesLeavesTheColour) {
  VT_Point target(1, 1);
  target.Color = 0xFF;
  VT_Point source(5, 6);
  source.Color = 0xFF00;
  EXPECT_EQ(&target.CopyCoordinates(source), &target);
  EXPECT_EQ(target.X, 5);
  EXPECT_EQ(target.Y, 6);
  EXPECT_EQ(target.Color, 0xFF);
  EXPECT_EQ(target.GetRow(), 5);
  EXPECT_EQ(target.GetColumn(), 6);
}

TEST(Point, DrawFillsItsCellInTheStatedColour) {
  VT_Point p(2.5, 3.5);
  p.Color = 0x0000FF;  // red, in TColor byte order
  const CellRect cell = PointCell(p, 1, 1, 10, 20);
  EXPECT_EQ(cell.left, 50);
  EXPECT_EQ(cell.top, 15);
  EXPECT_EQ(cell.right, 70);
  EXPECT_EQ(cell.bottom, 25);

  QImage image(100, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    p.Draw(painter, 1, 1, 10, 20);
  }
  int filled = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const bool inside = x >= 50 && x < 70 && y >= 15 && y < 25;
      const QRgb expected = inside ? qRgb(255, 0, 0) : qRgb(255, 255, 255);
      ASSERT_EQ(image.pixel(x, y), expected) << x << "," << y;
      filled += inside;
    }
  EXPECT_EQ(filled, 200);
}

TEST(Palette, SeventeenColoursThenAgain) {
  EXPECT_EQ(PaletteColor(0), 0xFFFF00);
  EXPECT_EQ(PaletteColor(13), 0x0000FF);
  EXPECT_EQ(PaletteColor(14), PaletteColor(8));
  EXPECT_EQ(PaletteColor(17), PaletteColor(0));
  EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(0x800000), QColor(0, 0, 128));  // navy
}

}  // namespace
}  // namespace skarvel
