#pragma once
// The texts of the colour composition window's edits: how a slider position
// is written into its edit, and how an edit's text is read back into a
// position. The window keeps each slider and its edit in step through these
// rules; they know nothing of the controls.
//
// Channel edits (R, G, B) hold the position in decimal followed by " %".
// The contrast edit holds the factor position × 0.02 rounded to two
// significant digits and written with two decimals: positions 0 to 49 show
// exact hundredths, 50 to 499 one decimal and a 0, 500 shows 10,00 (with ","
// as the separator).
//
// Reading truncates toward zero, it never rounds. A text that does not
// convert gives nullopt: the window then leaves its sliders alone without a
// word. Clamping a value to a slider's range is the slider's business; a
// value beyond the range of int comes back saturated (INT_MIN or INT_MAX),
// so any slider clamps it to the right end.

#include <QChar>
#include <QString>

#include <optional>

namespace skarvel {

// "12 %", "-100 %", "0 %".
QString FormatChannelText(int position);

// The contrast factor of a position as the contrast edit shows it ("1,20").
QString FormatContrastText(int position, QChar separator);
QString FormatContrastText(int position);  // with the separator in force

// A channel edit's text: the characters before the first "%" (all of them
// when there is none), converted as a real number with `separator` by the
// number grammar (blanks around it allowed), rounded to a double as the
// system's conversion does, then truncated toward zero. "12,7 %" gives 12.
std::optional<int> ParseChannelText(const QString& text, QChar separator);
// With the separator in force, or else the other of "." and "," (either
// decimal point converts, whatever the desktop's setting).
std::optional<int> ParseChannelText(const QString& text);

// The contrast edit's text: converted in extended precision, multiplied by
// 50 and truncated toward zero. "2,10" gives 104 (2.1 is held just below its
// decimal value), "1,30" gives 65.
std::optional<int> ParseContrastText(const QString& text, QChar separator);
// With the separator in force, or else the other of "." and ",".
std::optional<int> ParseContrastText(const QString& text);

}  // namespace skarvel
