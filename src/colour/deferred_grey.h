#pragma once
// The colour window's grey result, composed where it is looked at first.
//
// A slider change must show its result at once, but the view holds only a
// small part of a large picture. So a change of the source or the settings
// leaves every part of the result pending; the parts an area of the view
// needs are composed when it is painted, the others on idle, and all of them
// before anything reads the whole result. The parts are tiles of the natural
// picture, each composed by GreyComposer, so a result with nothing pending
// holds exactly ComposeGrey's bytes.

#include "colour/grey.h"

#include <QRect>

#include <cstdint>
#include <memory>
#include <vector>

namespace skarvel {

class DeferredGrey {
 public:
  static constexpr int kTileWidth = 256;
  static constexpr int kTileHeight = 64;

  explicit DeferredGrey(std::shared_ptr<Bitmap> result);

  // The composition of `source` under `settings` is wanted; the result is
  // sized for it and all of it is pending (also when neither changed: the
  // result is made again from the source).
  void reset(std::shared_ptr<const Bitmap> source, const ChannelSettings& settings);
  // The result already holds the whole composition of `source` under
  // `settings` (made by someone else): nothing is pending.
  void adopt(std::shared_ptr<const Bitmap> source, const ChannelSettings& settings);

  // Composes the pending tiles that `area` (natural pixels) touches.
  void compose(const QRect& area);
  // Composes pending tiles in picture order, about `pixels` of them at most
  // (at least one tile); true when some remain pending.
  bool composeSome(std::int64_t pixels);
  // Composes every pending tile.
  void complete();
  bool pending() const { return composed_ < tileCount(); }

  const std::shared_ptr<Bitmap>& result() const { return result_; }
  const std::shared_ptr<const Bitmap>& source() const { return source_; }
  const ChannelSettings& settings() const { return settings_; }

 private:
  int tileCount() const { return columns_ * rows_; }
  QRect tileRect(int index) const;
  // Composes the listed tiles, shared between the cores, and marks them.
  void composeTiles(const std::vector<int>& tiles);

  std::shared_ptr<Bitmap> result_;
  std::shared_ptr<const Bitmap> source_ = std::make_shared<const Bitmap>();
  ChannelSettings settings_;
  std::unique_ptr<GreyComposer> composer_;
  int columns_ = 0;
  int rows_ = 0;
  // A tile is composed when its number is the current generation.
  std::vector<std::uint64_t> tiles_;
  std::uint64_t generation_ = 1;
  int composed_ = 0;  // tiles of this generation
  int cursor_ = 0;    // no pending tile before it
};

}  // namespace skarvel
