#pragma once
// The field-of-view drawing: fitting the footprints into the picture and
// drawing the spacecraft track, the footprints and the legend entries.
//
// The drawing is a 1024 x 1024 picture, the legend a panel 650 pixels wide.
// Pixel columns grow to the right, rows downward. A stored scene point
// (X, Y) lands at column trunc((X - OffsetX) ScaleX + 50) and row
// trunc((Y - OffsetY) ScaleY + 50), truncated toward zero, so scene X runs to
// the right and scene Y upward (stored Y is the negated scene Y).
//
// Everything is drawn without antialiasing, so the pictures hold only the
// background, black and the palette colours, each exactly; what falls
// outside a picture is clipped. Texts are drawn as the system's text output
// does: the point given is the top left corner of the text cell, and the cell
// is first filled with the background.
//
// Text sizes follow the window layout's 120 dots per inch: the track label's
// 12 points are 20 pixels, the legend's 8 points 13 pixels. They are set in
// pixels so that the picture does not depend on the screen it is shown on.

#include "geometry/records.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QString>

#include <array>

namespace skarvel {

inline constexpr int kDrawingWidth = 1024;
inline constexpr int kDrawingHeight = 1024;
inline constexpr int kSceneMargin = 50;  // free pixels on each side of the fitted scene
inline constexpr int kLegendWidth = 650;
inline constexpr int kLegendStartHeight = 60;
inline constexpr int kLegendRowHeight = 30;

// The button-face colour behind the drawing, the legend and the texts:
// Qt's standard palette button colour #EFEFEF. It is fixed here rather than
// read from the running palette so that a desktop theme cannot change a saved
// picture and the window shows exactly what the command line writes.
inline constexpr TColor kButtonFace = 0xEFEFEF;
QColor ButtonFaceColor();

// The text of the track line.
inline const QString kTrackLabel = QStringLiteral("Трасса КА");

// A picture of the given size in the button-face colour (32 bits per pixel).
QImage BlankPicture(int width, int height);

// One common scale for both axes that fits every corner of `footprints`
// (four points per footprint) into width x height with the 50-pixel margin;
// the scene is centred along the axis that does not decide the scale.
// Raises the array's index error for an empty array and the division error
// for a scene without extent in X or in Y.
TSceneView FitSceneView(const DynamicArray<VT_Point>& footprints, int width, int height);

// Pixel (column, row) of a stored scene point. Points far outside the
// picture are held at a distance that is still outside it, so that the
// conversion to an integer stays defined.
QPoint ScenePixel(const TSceneView& view, const VT_Point& point);
// trunc(value) as a pixel coordinate, held within +-2^20; a value within
// 1e-9 of a whole number is taken as that number.
int PixelCoordinate(long double value);

// The track: a black line 2 pixels wide across the whole drawing through the
// track point's row, and its label at column 20, 30 pixels above the line.
void DrawTrack(QImage& drawing, const TSceneView& view, const VT_Point& trackPoint);

// The outline A-B-C-D-A in the colour, 2 pixels wide.
void DrawFootprint(QImage& drawing, const TSceneView& view, const VT_Point& a, const VT_Point& b,
                   const VT_Point& c, const VT_Point& d, TColor color);
// The same through a painter on the drawing, so that many footprints share
// one painter; its pen is changed.
void DrawFootprint(QPainter& painter, const TSceneView& view, const VT_Point& a, const VT_Point& b,
                   const VT_Point& c, const VT_Point& d, TColor color);
// The outline through the pixels of A, B, C, D (ScenePixel of each).
using OutlinePixels = std::array<QPoint, 4>;
OutlinePixels FootprintPixels(const TSceneView& view, const VT_Point& a, const VT_Point& b, const VT_Point& c,
                              const VT_Point& d);
void DrawOutline(QPainter& painter, const OutlinePixels& pixels, TColor color);

// The legend label of an image geometry file name: the text before the first
// "ort", less the character just before it ("frame1.ort" gives "frame1");
// empty when the name holds no "ort".
QString LegendLabel(const QString& geometryFileName);

// One legend entry in column 1 or 2 of a legend picture's last row (the row
// 30 pixels above its bottom): a 100-pixel line in the colour and the label.
// The picture is made 650 pixels wide; after an entry in column 2 it grows by
// one row, keeping what is drawn. The scene keeps no such picture (it paints
// its legend from its entries, a band at a time, with PaintLegendEntry): a
// whole legend drawn this way is what those bands must add up to.
void DrawLegendEntry(QImage& legend, TColor color, const QString& geometryFileName, int column);

// The same entry drawn as if the legend were `height` pixels high, without
// growing it: the legend is `height` or higher already.
void DrawLegendEntryAt(QImage& legend, int height, TColor color, const QString& geometryFileName, int column);

// The same entry with its label already made, through a painter whose
// coordinates are the legend's (a painter on a band of the legend is
// translated by the band's top). The painter's pen and font are changed.
void PaintLegendEntry(QPainter& painter, int height, TColor color, const QString& label, int column);

// The legend's height once `entries` entries are drawn: 60, and 30 more for
// every second entry.
int LegendHeight(int entries);

// Changes a picture's size keeping its pixels; new pixels are button face.
void ResizePicture(QImage& picture, int width, int height);

}  // namespace skarvel
