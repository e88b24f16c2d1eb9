#pragma once
// The geometry records shared by the file readers and the field-of-view code.
//
// Conventions:
// - Coordinates are doubles. Scene coordinates X, Y, Z are in the units of the
//   image geometry file; the scene plane is Z = 0.
// - Stored footprint points carry the scene X and the scene Y with its sign
//   reversed, so that a larger stored Y lies lower on the drawing.
// - Image coordinates: x to the right and y upward from the principal point,
//   in pixels of the frame.
// - Colours are TColor values 0x00BBGGRR: red in the low byte.
// - Pixel rows are counted from the top of a picture, columns from the left.

#include "platform/error.h"

#include <QPainter>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace skarvel {

using TColor = int32_t;  // 0x00BBGGRR

// Something that can draw itself as cells of a raster.
class VT_Drawable {
 public:
  virtual ~VT_Drawable() = default;
  virtual void Draw(QPainter& canvas, int originRow, int originColumn, double cellHeight,
                    double cellWidth) const = 0;
  virtual double GetY() const = 0;
  virtual double GetColumn() const = 0;
  virtual double GetX() const = 0;
  virtual double GetRow() const = 0;
};

// A coloured plane point. Copies of coordinates go through CopyCoordinates,
// so a colour never travels with coordinates.
class VT_Point : public VT_Drawable {
 public:
  VT_Point() = default;
  VT_Point(double x, double y) : X(x), Y(y) {}

  VT_Point& CopyCoordinates(const VT_Point& from) {
    X = from.X;
    Y = from.Y;
    return *this;
  }

  // Fills the cell (X, Y) of a raster whose cell (originRow, originColumn)
  // is at the canvas origin; X counts rows, Y columns.
  void Draw(QPainter& canvas, int originRow, int originColumn, double cellHeight,
            double cellWidth) const override;
  double GetY() const override { return Y; }
  double GetColumn() const override { return Y; }
  double GetX() const override { return X; }
  double GetRow() const override { return X; }

  TColor Color = 0;  // not set by the constructors
  double X = 0;
  double Y = 0;
};

// The cell rectangle that VT_Point::Draw fills: left, top, right, bottom.
struct CellRect {
  int left, top, right, bottom;
};
CellRect PointCell(const VT_Point& point, int originRow, int originColumn, double cellHeight,
                   double cellWidth);

// "Index %d out of range (length %d)": the arrays' out-of-range error.
QString ArrayIndexOutOfRange(long long index, long long length);

// A growable array with shared storage: copies share the elements, which are
// released with their last holder.
template <typename T>
class DynamicArray {
 public:
  int Length() const { return storage_ ? static_cast<int>(storage_->size()) : 0; }

  // Makes a new storage of n elements, keeping the first min(old, n).
  void SetLength(int n);

  T& At(int i) {
    Check(i);
    return (*storage_)[static_cast<size_t>(i)];
  }
  const T& At(int i) const {
    Check(i);
    return (*storage_)[static_cast<size_t>(i)];
  }
  T& operator[](int i) { return At(i); }
  const T& operator[](int i) const { return At(i); }

 private:
  void Check(int i) const {
    if (i < 0 || i >= Length()) throw Error(ArrayIndexOutOfRange(i, Length()));
  }
  std::shared_ptr<std::vector<T>> storage_;
};

template <>
inline void DynamicArray<VT_Point>::SetLength(int n) {
  if (n < 0) throw Error(ArrayIndexOutOfRange(n, Length()));
  auto fresh = std::make_shared<std::vector<VT_Point>>(static_cast<size_t>(n));
  const int keep = std::min(n, Length());
  for (int i = 0; i < keep; ++i)
    (*fresh)[static_cast<size_t>(i)].CopyCoordinates((*storage_)[static_cast<size_t>(i)]);
  storage_ = n == 0 ? nullptr : std::move(fresh);
}

template <typename T>
void DynamicArray<T>::SetLength(int n) {
  if (n < 0) throw Error(ArrayIndexOutOfRange(n, Length()));
  auto fresh = std::make_shared<std::vector<T>>(static_cast<size_t>(n));
  const int keep = std::min(n, Length());
  for (int i = 0; i < keep; ++i) (*fresh)[static_cast<size_t>(i)] = (*storage_)[static_cast<size_t>(i)];
  storage_ = n == 0 ? nullptr : std::move(fresh);
}

using TStringDynArray = DynamicArray<QString>;

// The values of one camera file.
struct TCameraParams {
  double PrincipalColumn = 0;  // column of the principal point, pixels
  double PrincipalRow = 0;     // row of the principal point, pixels
  QStringList CompanionLines;  // all lines of the companion file
  double FocalLength = 0;      // principal distance; -1.0 when the file gives none
  double FrameWidth = 0;       // columns
  double FrameHeight = 0;      // rows
  double RowScale = 0;         // first companion line as a number; rows are divided by it
};

// The 21 values of an image geometry file, angles (6 to 11) in radians.
//  0-2   projection centre X, Y, Z (not used by the field-of-view code)
//  3, 4  aiming point X, Y in the scene plane Z = 0
//  5     distance from the projection centre to the aiming point
//  6-8   photogrammetric angles phi, omega, kappa
//  9-11  bench angles: about Y, about X, about Z
//  12-20 rotation matrix of the mathematical system, column by column:
//        element (r, c), 1-based, is value 12 + (r - 1) + 3 (c - 1)
struct TImageGeometry {
  std::array<double, 21> Values{};
  double& operator[](int i) { return Values.at(static_cast<size_t>(i)); }
  double operator[](int i) const { return Values.at(static_cast<size_t>(i)); }
};

// Direct linear transformation L1..L11 (index 0..10) from a scene point to
// image coordinates.
struct TDltCoefficients {
  std::array<double, 11> L{};
};

// A plane-to-plane projective transform, row-major h11..h33.
struct THomography {
  std::array<double, 9> h{};
};

// Ground footprint of one frame: the images of the frame corners A (first
// row, first column), B (first row, last column), C (last row, last column),
// D (last row, first column).
struct TFootprint {
  VT_Point A, B, C, D;
};

enum class TOrientationSystem : int {
  Bench = 1,            // "Стендовая"
  Photogrammetric = 2,  // "Фотограмметрическая"
  Mathematical = 3,     // "Математическая"
};

// Mapping of stored scene coordinates onto the drawing: a point (X, Y) lands
// at column trunc((X - OffsetX) ScaleX + 50), row trunc((Y - OffsetY) ScaleY + 50).
struct TSceneView {
  double ScaleX = 0;
  double ScaleY = 0;
  double OffsetX = 0;
  double OffsetY = 0;
};

// The footprint palette, used in order and then again from the start.
inline constexpr std::array<TColor, 17> kFootprintPalette = {
    0xFFFF00,  // aqua
    0x000000,  // black
    0xFF0000,  // blue
    0x808080,  // grey
    0xFF00FF,  // fuchsia
    0xFFFFFF,  // white
    0x008000,  // green
    0x00FF00,  // lime
    0xC0C0C0,  // silver
    0x000080,  // maroon
    0x800000,  // navy
    0x008080,  // olive
    0x800080,  // purple
    0x0000FF,  // red
    0xC0C0C0,  // silver again
    0x808000,  // teal
    0x00FFFF,  // yellow
};

inline TColor PaletteColor(int index) {
  return kFootprintPalette[static_cast<size_t>(index) % kFootprintPalette.size()];
}

// A TColor as a Qt colour.
inline QColor ToQColor(TColor color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

}  // namespace skarvel
