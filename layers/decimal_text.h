// Numbers written as text in a record: coordinates, codes cut from an
// identifier, a building's function code.
#pragma once

#include <string_view>

namespace egib {

// Decimal conversions of a field (at most 99 characters) as atof and atol
// make them: leading blanks and a sign accepted, conversion stops at the
// first character that does not belong, text without digits gives 0.
double to_double(std::string_view s);
long to_long(std::string_view s);

}  // namespace egib
