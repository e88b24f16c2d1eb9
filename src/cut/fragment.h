#pragma once
// Extraction of one rectangle out of many pictures, and what the fragment
// window draws for it.
//
// Coordinates are screen-style picture pixels: origin at the top left corner,
// W to the right, H downwards, at the picture's natural size. The rectangle
// covers columns W1 to W2 - 1 and rows H1 to H2 - 1 (W2 and H2 are exclusive
// edges). Any integers are accepted, negative ones and ones beyond the picture
// included.

#include "platform/bitmap.h"
#include "platform/bitmap_batch.h"

#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace skarvel {

struct CutFrame {
  int w1 = 0;
  int h1 = 0;
  int w2 = 100;
  int h2 = 100;
};

inline const QString kFragmentSuffix = QStringLiteral("_cut.bmp");

// The four edit texts W1, H1, W2, H2 as integers; nullopt when one is not an
// integer (the frame's redraw then keeps what it showed).
std::optional<CutFrame> TryParseCutFrame(const QString& w1, const QString& h1, const QString& w2,
                                         const QString& h2);
// The same, raising "'%s' is not a valid integer value" for the first text,
// in that order, that is not an integer.
CutFrame ParseCutFrame(const QString& w1, const QString& h1, const QString& w2, const QString& h2);

// The 24-bit fragment: a reversed pair collapses to zero size (W2 < W1 makes
// W2 = W1, likewise H), pixel (x, y) takes the colour of source pixel
// (W1 + x, H1 + y), and pixels outside the source are white. Raises a clear
// message for an empty rectangle (nothing to write) or one beyond the memory limit.
Bitmap ExtractFragment(const Bitmap& source, const CutFrame& frame);

// The size labels: "Ширина = " and "Высота = " with the absolute spans
// |W2 - W1| and |H2 - H1|, even for reversed corners.
QString CutWidthLabel(const CutFrame& frame);
QString CutHeightLabel(const CutFrame& frame);

// The closed outline (W1, H1), (W1, H2), (W2, H2), (W2, H1), (W1, H1) in
// picture pixels; it runs along column W2 and row H2, one beyond the fragment.
std::array<QPoint, 5> CutOutline(const CutFrame& frame);

// The outline as a red pen of `penWidth` pixels draws it on a white picture
// of `pictureSize`, for the part `area` of that picture only: a grey-scale
// mask of the area's size, 255 where the pen covers a pixel, 0 elsewhere
// (and outside the picture). The window draws the visible part of the
// outline from it, so no picture-sized overlay is ever filled or allocated.
QImage CutOutlineMask(const CutFrame& frame, int penWidth, QSize pictureSize, const QRect& area);
// The pen the outline is drawn with.
QPen CutOutlinePen(int penWidth);

// Width of the red pen: 3 when the zoom item checked is 50 %, 2 at 100 %,
// 1 otherwise (75, 200, 300, 400 % or none checked, given as 0).
int CutPenWidth(int checkedZoomPercent);

// The processing button: for each entry in order, load it, read the four
// texts (again for every file), extract the fragment and write it as
// directory/base name + "_cut.bmp". The first error ends the run; files
// written before it stay.
void RunFragmentExtraction(const QString& directory, const QStringList& entries, const QString& w1Text,
                           const QString& h1Text, const QString& w2Text, const QString& h2Text,
                           const BatchObserver& observer = {});

}  // namespace skarvel
