#include "colour/deferred_grey.h"

#include "platform/parallel.h"

#include <algorithm>

namespace skarvel {
namespace {

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

}  // namespace

DeferredGrey::DeferredGrey(std::shared_ptr<Bitmap> result) : result_(std::move(result)) {
  PrepareGreyResult(*source_, *result_);
}

void DeferredGrey::reset(std::shared_ptr<const Bitmap> source, const ChannelSettings& settings) {
  // Everything that can fail (memory) comes first, the result's new size
  // last: a failure leaves the previous state whole. The new composer refers
  // to the new source, kept alive by the pointer passed in.
  std::unique_ptr<GreyComposer> composer;
  int columns = 0, rows = 0;
  if (!source->empty()) {
    composer = std::make_unique<GreyComposer>(*source, settings);
    columns = CeilDiv(source->width, kTileWidth);
    rows = CeilDiv(source->height, kTileHeight);
  }
  const auto count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  std::vector<std::uint64_t> tiles;
  if (tiles_.size() != count) tiles.assign(count, 0);
  PrepareGreyResult(*source, *result_);
  if (tiles_.size() != count) tiles_.swap(tiles);
  composer_ = std::move(composer);
  source_ = std::move(source);
  settings_ = settings;
  columns_ = columns;
  rows_ = rows;
  ++generation_;
  composed_ = 0;
  cursor_ = 0;
}

void DeferredGrey::adopt(std::shared_ptr<const Bitmap> source, const ChannelSettings& settings) {
  reset(std::move(source), settings);
  std::fill(tiles_.begin(), tiles_.end(), generation_);
  composed_ = tileCount();
  cursor_ = tileCount();
}

QRect DeferredGrey::tileRect(int index) const {
  return QRect((index % columns_) * kTileWidth, (index / columns_) * kTileHeight, kTileWidth, kTileHeight);
}

void DeferredGrey::composeTiles(const std::vector<int>& tiles) {
  if (tiles.empty()) return;
  // About a quarter of a megapixel per thread at least, as for whole rows.
  const int minPerThread = std::max(1, (1 << 18) / (kTileWidth * kTileHeight));
  WithPictureMemory(source_->width, source_->height, [&] {
    ForEachRange(static_cast<int>(tiles.size()), minPerThread, [&](int begin, int end) {
      for (int i = begin; i < end; ++i)
        composer_->Compose(tileRect(tiles[static_cast<std::size_t>(i)]), *result_);
    });
  });
  for (int tile : tiles) tiles_[static_cast<std::size_t>(tile)] = generation_;
  composed_ += static_cast<int>(tiles.size());
}

void DeferredGrey::compose(const QRect& area) {
  if (!pending()) return;
  const QRect part = area.intersected(QRect(0, 0, source_->width, source_->height));
  if (part.isEmpty()) return;
  std::vector<int> tiles;
  for (int row = part.top() / kTileHeight; row <= part.bottom() / kTileHeight; ++row)
    for (int column = part.left() / kTileWidth; column <= part.right() / kTileWidth; ++column) {
      const int index = row * columns_ + column;
      if (tiles_[static_cast<std::size_t>(index)] != generation_) tiles.push_back(index);
    }
  composeTiles(tiles);
}

bool DeferredGrey::composeSome(std::int64_t pixels) {
  std::vector<int> tiles;
  std::int64_t budget = pixels;
  for (; cursor_ < tileCount() && (tiles.empty() || budget > 0); ++cursor_) {
    if (tiles_[static_cast<std::size_t>(cursor_)] == generation_) continue;
    tiles.push_back(cursor_);
    budget -= std::int64_t{kTileWidth} * kTileHeight;
  }
  composeTiles(tiles);
  return pending();
}

void DeferredGrey::complete() {
  if (!pending()) return;
  std::vector<int> tiles;
  tiles.reserve(static_cast<std::size_t>(tileCount() - composed_));
  for (int i = cursor_; i < tileCount(); ++i)
    if (tiles_[static_cast<std::size_t>(i)] != generation_) tiles.push_back(i);
  cursor_ = tileCount();
  composeTiles(tiles);
}

}  // namespace skarvel
