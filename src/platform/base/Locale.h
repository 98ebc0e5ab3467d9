#pragma once

namespace orv {

// Numbers in files, scripts and settings are always written with a decimal point,
// whatever locale the desktop session uses. Call once at start-up, after Qt has set
// the C library's locale from the environment.
void SetNumericLocaleC();

}  // namespace orv
