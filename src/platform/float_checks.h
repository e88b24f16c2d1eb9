#pragma once
// Floating-point arithmetic that fails loudly. The system treats division by
// zero, overflow and invalid operations as errors that end the current
// operation with the framework's texts; no infinity or NaN may reach a result
// or a file. Every division or conversion that can produce one goes through
// these helpers.

#include "platform/error.h"

#include <cmath>
#include <limits>

namespace skarvel {

// "Extended precision" is the x87 80-bit format with a 64-bit mantissa. Byte
// results of several operations depend on it, so refuse any other layout.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the x87 80-bit extended format");

namespace fp {

// Raises the error the floating-point unit would raise for the value.
[[noreturn]] void RaiseFor(long double value);

// The value itself when finite; the overflow or invalid-operation error otherwise.
inline long double Checked(long double value) {
  if (!std::isfinite(value)) RaiseFor(value);
  return value;
}

// a / b with the unit's rules: x / 0 is a division by zero, 0 / 0 (or any NaN
// operand) an invalid operation, an infinite quotient an overflow.
inline long double Divide(long double a, long double b) {
  if (std::isnan(a) || std::isnan(b)) throw Error(messages::kFloatInvalid);
  if (b == 0) throw Error(a == 0 ? messages::kFloatInvalid : messages::kFloatDivideByZero);
  return Checked(a / b);
}

// Rounds an extended value to a double; a value beyond the double range is an
// overflow, as storing it in a double variable would be.
inline double ToDouble(long double value) {
  const double d = static_cast<double>(Checked(value));
  if (!std::isfinite(d)) throw Error(messages::kFloatOverflow);
  return d;
}

}  // namespace fp
}  // namespace skarvel
