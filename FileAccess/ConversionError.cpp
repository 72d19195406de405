#include "FileAccess/ConversionError.h"

#include <cctype>
#include <limits>

namespace vxk {

int64_t DecimalToInt64(const std::string& text) {
  const auto fail = [&]() -> int64_t {
    throw ConversionError("'" + text + "' is not a valid integer value");
  };
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return fail();
  uint64_t n = 0;
  const uint64_t limit =
      static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return fail();
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (n > (limit - digit) / 10) return fail();
    n = n * 10 + digit;
  }
  if (negative) return n == limit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(n);
  return static_cast<int64_t>(n);
}

}  // namespace vxk
