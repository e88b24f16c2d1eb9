#include "platform/float_checks.h"

namespace skarvel::fp {

void RaiseFor(long double value) {
  if (std::isnan(value)) throw Error(messages::kFloatInvalid);
  throw Error(messages::kFloatOverflow);
}

}  // namespace skarvel::fp
