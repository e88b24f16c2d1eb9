// The colour window's result composed a part at a time: whatever the order in
// which parts are asked for, the result ends as ComposeGrey's bytes.

#include "colour/deferred_grey.h"

#include <gtest/gtest.h>

#include <random>

namespace skarvel {
namespace {

// Noise, so that every tile differs; sizes that are not whole tiles.
Bitmap Noise(int width, int height, bool indexed) {
  Bitmap picture = indexed ? Bitmap::Indexed(width, height, GreyPalette()) : Bitmap::Colour(width, height);
  std::mt19937 random(11);
  for (auto& byte : picture.pixels) byte = static_cast<std::uint8_t>(random());
  return picture;
}

bool SameArea(const Bitmap& a, const Bitmap& b, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (a.row(y)[x] != b.row(y)[x]) return false;
  return true;
}

TEST(DeferredGrey, PartsInAnyOrderEndAsTheWholeComposition) {
  const auto colour = std::make_shared<const Bitmap>(Noise(700, 301, false));
  const auto indexed = std::make_shared<const Bitmap>(Noise(513, 130, true));
  struct Row {
    std::shared_ptr<const Bitmap> source;
    ChannelSettings first, second;
    const char* why;
  };
  const Row rows[] = {
      {colour, {37, -12, 150, 73}, {-100, 200, 5, 500}, "fixed-point terms"},
      {colour, {0, 0, 0, 50}, {40, 40, 40, 20}, "equal weights: byte sums"},
      {indexed, {20, 0, 0, 300}, {0, 0, 0, 0}, "8-bit: the index table"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    const Bitmap first = ComposeGrey(*row.source, row.first);
    const Bitmap second = ComposeGrey(*row.source, row.second);
    auto result = std::make_shared<Bitmap>();
    DeferredGrey grey(result);
    grey.reset(row.source, row.first);
    ASSERT_TRUE(grey.pending());
    // An area across tile borders, as a view asks for it.
    const QRect view(250, 60, 200, 40);
    grey.compose(view);
    EXPECT_TRUE(SameArea(*result, first, view));
    EXPECT_TRUE(grey.pending()) << "only the view was composed";
    EXPECT_TRUE(grey.composeSome(1)) << "one tile on idle";
    grey.complete();
    EXPECT_FALSE(grey.pending());
    EXPECT_EQ(result->pixels, first.pixels);
    EXPECT_EQ(result->palette, GreyPalette());
    // Other settings: the tiles composed before are pending again.
    grey.reset(row.source, row.second);
    grey.compose(QRect(0, 0, 40, 40));
    grey.compose(QRect(row.source->width - 1, row.source->height - 1, 5, 5));  // reaching out of the picture
    while (grey.composeSome(100000)) {
    }
    EXPECT_EQ(result->pixels, second.pixels);
    // The same settings once more are composed again from the source.
    result->pixels[0] ^= 1;
    grey.reset(row.source, row.second);
    grey.complete();
    EXPECT_EQ(result->pixels, second.pixels);
  }
}

TEST(DeferredGrey, AnAdoptedResultIsNotComposedAgainAndAnEmptySourceHasNoTiles) {
  const auto source = std::make_shared<const Bitmap>(Noise(300, 70, false));
  auto result = std::make_shared<Bitmap>(ComposeGrey(*source, {10, 0, 0, 50}));
  result->pixels[5] ^= 1;  // marked, to see that nothing recomposes it
  DeferredGrey grey(result);
  grey.adopt(source, {10, 0, 0, 50});
  EXPECT_FALSE(grey.pending());
  grey.complete();
  EXPECT_NE(result->pixels, ComposeGrey(*source, {10, 0, 0, 50}).pixels);
  grey.reset(std::make_shared<const Bitmap>(), {});
  EXPECT_FALSE(grey.pending());
  EXPECT_TRUE(result->empty());
  EXPECT_TRUE(result->indexed);
}

}  // namespace
}  // namespace skarvel
