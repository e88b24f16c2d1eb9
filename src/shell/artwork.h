#pragma once
// The program's small pictures, drawn here rather than stored: the tool
// buttons' pictures (22 x 24 pixels) and the program's icon (32 x 32, in the
// 16 colours of the classic palette).

#include <QImage>
#include <QList>

namespace skarvel {

inline constexpr int kToolPictureWidth = 22;
inline constexpr int kToolPictureHeight = 24;

// The image list of the tool bar, indices 0 to 8. The buttons use:
// 0 colour composition (three vertical bars, blue, green and red),
// 1 fragment extraction (a frame with a marked rectangle inside),
// 2 scaling (a ruler), 5 angular-resolution modelling (a grid over a
// picture), 7 field-of-view visualisation (a green and a red rectangle over
// an aerial picture), 8 calculation tables (the digits 1, 2 and 3 in colour).
// 3 (an open folder), 4 (a disk) and 6 (a question mark) are not on the bar.
QList<QImage> ToolPictures();

// The program's icon: a camera footprint over terrain with the track.
QImage ProgramIconPicture();

}  // namespace skarvel
