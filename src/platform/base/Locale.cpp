#include "platform/base/Locale.h"

#include <clocale>

namespace orv {

void SetNumericLocaleC() { std::setlocale(LC_NUMERIC, "C"); }

}  // namespace orv
