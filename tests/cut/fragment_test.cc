// Fragment extraction: the rectangle rules, pixels outside the source, the
// frame's labels, outline and pen, and the batch.

#include "cut/fragment.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <random>

namespace skarvel {
namespace {

using testing::TempDir;

const Bgr kWhite{255, 255, 255};

Bitmap RandomPicture(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Bitmap b = Bitmap::Colour(width, height);
  for (auto& p : b.pixels) p = static_cast<std::uint8_t>(random());
  return b;
}

// The fragment pixel by pixel: the source colour inside it, white outside.
::testing::AssertionResult IsFragmentOf(const Bitmap& f, const Bitmap& src, int w1, int h1, int width,
                                        int height) {
  if (f.width != width || f.height != height || f.indexed)
    return ::testing::AssertionFailure() << "size " << f.width << "x" << f.height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const long long sx = static_cast<long long>(w1) + x, sy = static_cast<long long>(h1) + y;
      const bool inside = sx >= 0 && sy >= 0 && sx < src.width && sy < src.height;
      const Bgr expected = inside ? src.colour(static_cast<int>(sx), static_cast<int>(sy)) : kWhite;
      if (!(f.colour(x, y) == expected))
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ")";
    }
  return ::testing::AssertionSuccess();
}

TEST(ExtractFragment, CutsColumnsW1ToW2MinusOne) {
  const Bitmap src = RandomPicture(640, 480, 1);
  EXPECT_TRUE(IsFragmentOf(ExtractFragment(src, {}), src, 0, 0, 100, 100));
  EXPECT_TRUE(IsFragmentOf(ExtractFragment(src, {600, 470, 640, 480}), src, 600, 470, 40, 10));
}

TEST(ExtractFragment, PixelsOutsideTheSourceAreWhite) {
  const Bitmap src = RandomPicture(30, 20, 2);
  // W1 = -10, W2 = 90: 100 wide; column 10 is the picture's column 0.
  const Bitmap f = ExtractFragment(src, {-10, 0, 90, 5});
  EXPECT_TRUE(IsFragmentOf(f, src, -10, 0, 100, 5));
  EXPECT_EQ(f.colour(9, 0), kWhite);
  EXPECT_EQ(f.colour(10, 0), src.colour(0, 0));
  EXPECT_EQ(f.colour(39, 4), src.colour(29, 4));
  EXPECT_EQ(f.colour(40, 4), kWhite);
  // Wholly outside, above and below, and far out in the 32-bit range.
  EXPECT_TRUE(IsFragmentOf(ExtractFragment(src, {-5, -30, 40, 30}), src, -5, -30, 45, 60));
  EXPECT_TRUE(IsFragmentOf(ExtractFragment(src, {2147483600, 5, 2147483647, 6}), src, 2147483600, 5, 47, 1));
  EXPECT_TRUE(IsFragmentOf(ExtractFragment(src, {-2147483647 - 1, 0, -2147483647 + 9, 2}), src,
                           -2147483647 - 1, 0, 10, 2));
}

TEST(ExtractFragment, RandomRectanglesAgreeWithThePixelRule) {
  const Bitmap src = RandomPicture(23, 17, 3);
  std::mt19937 random(4);
  std::uniform_int_distribution<int> corner(-30, 50);
  for (int i = 0; i < 300; ++i) {
    const int w1 = corner(random), h1 = corner(random), w2 = corner(random), h2 = corner(random);
    if (w2 <= w1 || h2 <= h1) continue;
    ASSERT_TRUE(IsFragmentOf(ExtractFragment(src, {w1, h1, w2, h2}), src, w1, h1, w2 - w1, h2 - h1))
        << w1 << " " << h1 << " " << w2 << " " << h2;
  }
}

TEST(ExtractFragment, EightBitGreySourceGivesEqualChannels) {
  Bitmap grey = Bitmap::Indexed(4, 4, GreyPalette());
  for (std::size_t i = 0; i < grey.pixels.size(); ++i) grey.pixels[i] = static_cast<std::uint8_t>(17 * i);
  const Bitmap f = ExtractFragment(grey, {1, 1, 3, 3});
  EXPECT_FALSE(f.indexed);
  EXPECT_EQ(f.colour(0, 0), (Bgr{85, 85, 85}));  // index 5 * 17
  EXPECT_EQ(f.colour(1, 1), (Bgr{170, 170, 170}));
}

TEST(ExtractFragment, EmptyOrHugeRectanglesAreRefusedWithAClearMessage) {
  const Bitmap src = RandomPicture(10, 10, 5);
  for (const CutFrame& frame : {CutFrame{100, 0, 0, 100}, CutFrame{50, 50, 50, 80}, CutFrame{0, 10, 5, 3}}) {
    try {
      ExtractFragment(src, frame);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_TRUE(e.message().startsWith(QStringLiteral("Пустой фрагмент"))) << e.what();
    }
  }
  try {
    ExtractFragment(src, {-2147483647 - 1, 0, 2147483647, 2});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("слишком велико"))) << e.what();
  }
}

TEST(CutFrameDrawing, LabelsOutlineAndPen) {
  EXPECT_EQ(CutWidthLabel({}), QStringLiteral("Ширина = 100"));
  EXPECT_EQ(CutHeightLabel({}), QStringLiteral("Высота = 100"));
  // Reversed corners: the absolute span, though the extraction is empty.
  EXPECT_EQ(CutWidthLabel({100, 0, 0, 100}), QStringLiteral("Ширина = 100"));
  EXPECT_EQ(CutWidthLabel({50, 50, 50, 80}), QStringLiteral("Ширина = 0"));
  EXPECT_EQ(CutHeightLabel({50, 50, 50, 80}), QStringLiteral("Высота = 30"));
  EXPECT_EQ(CutWidthLabel({-2147483647 - 1, 0, 2147483647, 0}), QStringLiteral("Ширина = 4294967295"));
  const auto outline = CutOutline({10, 20, 30, 40});
  const std::array<QPoint, 5> expected = {QPoint(10, 20), QPoint(10, 40), QPoint(30, 40), QPoint(30, 20),
                                          QPoint(10, 20)};
  EXPECT_EQ(outline, expected);
  EXPECT_EQ(CutPenWidth(50), 3);
  EXPECT_EQ(CutPenWidth(100), 2);
  for (int zoom : {75, 200, 300, 400, 0}) EXPECT_EQ(CutPenWidth(zoom), 1) << zoom;
}

TEST(CutFrameDrawing, EditTexts) {
  const auto frame = TryParseCutFrame(" 5", "-7", "$10", "+20");
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->w1, 5);
  EXPECT_EQ(frame->h1, -7);
  EXPECT_EQ(frame->w2, 16);
  EXPECT_EQ(frame->h2, 20);
  EXPECT_FALSE(TryParseCutFrame("-", "0", "100", "100").has_value());
  EXPECT_FALSE(TryParseCutFrame("0", "0", "100 ", "100").has_value());
  EXPECT_FALSE(TryParseCutFrame("0", "0", "100", "").has_value());
  // The batch raises the conversion error for the first bad text in W1, H1, W2, H2 order.
  try {
    ParseCutFrame("0", "x", "y", "100");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("'x' is not a valid integer value"));
  }
}

TEST(RunFragmentExtraction, WritesInOrderAndStopsAtAnEmptyRectangleWritingNothing) {
  TempDir dir;
  const Bitmap a = RandomPicture(640, 480, 6);
  SaveBitmap(a, dir.file("scene.old.bmp"));
  SaveBitmap(a, dir.file("p_cut.bmp"));
  QStringList written;
  RunFragmentExtraction(dir.path(), {"scene.old.bmp", "p_cut.bmp"}, "0", "0", "100", "100",
                        {nullptr, [&](const QString& f, const Bitmap&) { written << f; }, nullptr});
  EXPECT_EQ(written, (QStringList{dir.path() + "/scene_cut.bmp", dir.path() + "/p_cut_cut.bmp"}));
  const Bitmap f = LoadBitmap(dir.file("scene_cut.bmp"));
  EXPECT_EQ(f.fileBitCount, 24);
  EXPECT_TRUE(IsFragmentOf(f, a, 0, 0, 100, 100));

  // W2 < W1: the run ends at the first file with the message; no zero-byte file appears.
  const QStringList before = dir.entries();
  EXPECT_THROW(RunFragmentExtraction(dir.path(), {"scene.old.bmp"}, "100", "0", "0", "100"), Error);
  EXPECT_EQ(dir.entries(), before);
  // A missing file after a good one: the good one's output stays.
  QFile::remove(dir.file("scene_cut.bmp"));
  try {
    RunFragmentExtraction(dir.path(), {"scene.old.bmp", "gone.bmp"}, "0", "0", "10", "10");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("Cannot open file ") + dir.path() + "/gone.bmp");
  }
  EXPECT_EQ(LoadBitmap(dir.file("scene_cut.bmp")).width, 10);
}

testing::OutputCase FragmentFile() {
  return {.prepare = [](const QString& folder) { SaveBitmap(RandomPicture(150, 120, 4), folder + "/p.bmp"); },
          .write =
              [](const QString& folder) { RunFragmentExtraction(folder, {"p.bmp"}, "0", "0", "100", "100"); },
          .output = "p_cut.bmp"};
}
SKARVEL_OUTPUT_FAULT_TESTS(FragmentFileOutput, FragmentFile())

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

// The outline as the painter draws it on a white picture of the natural size.
QImage PaintedOutline(const CutFrame& frame, int penWidth, QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setPen(CutOutlinePen(penWidth));
  const std::array<QPoint, 5> outline = CutOutline(frame);
  painter.drawPolyline(outline.data(), static_cast<int>(outline.size()));
  return picture;
}

TEST(CutOutlineMaskTest, AnyPartIsThatPartOfTheOutlinePaintedOnTheWholePicture) {
  const QSize size(61, 43);
  const CutFrame frames[] = {
      {0, 0, 100, 100},  // the default, clipped by the picture
      {5, 7, 30, 20},
      {30, 20, 5, 7},     // reversed corners draw the same outline
      {-10, -4, 25, 50},  // partly outside
      {10, 10, 10, 30},
      {3, 9, 40, 9},  // collapsed to a line
      {20, 15, 21, 16},
      {60, 42, 70, 50},                           // a 1 x 1 rectangle; only a corner inside
      {-50, -50, -20, -20},                       // wholly outside
      {-2000000000, 12, 2000000000, 2000000000},  // beyond what a painter takes exactly
  };
  const QRect areas[] = {QRect(0, 0, 61, 43), QRect(7, 5, 20, 11), QRect(50, 30, 30, 30),
                         QRect(-5, -5, 12, 9)};
  for (int pen : {1, 2, 3})
    for (const CutFrame& f : frames) {
      // The reference: the outline painted on the whole picture (corners held in range).
      CutFrame held = f;
      for (int* v : {&held.w1, &held.h1, &held.w2, &held.h2}) *v = std::clamp(*v, -1000, 1000);
      const QImage whole = PaintedOutline(held, pen, size);
      for (const QRect& area : areas) {
        const QImage mask = CutOutlineMask(f, pen, size, area);
        ASSERT_EQ(mask.size(), area.size());
        for (int y = 0; y < area.height(); ++y)
          for (int x = 0; x < area.width(); ++x) {
            const QPoint at = area.topLeft() + QPoint(x, y);
            const bool red = whole.rect().contains(at) && whole.pixel(at) == qRgb(255, 0, 0);
            ASSERT_EQ(qGray(mask.pixel(x, y)) == 255, red)
                << "pen " << pen << ", frame " << f.w1 << "," << f.h1 << "," << f.w2 << "," << f.h2 << " at "
                << at.x() << "," << at.y();
          }
      }
    }
}

}  // namespace
}  // namespace skarvel
