#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vxk {

// A number in a device reply that is not one: a local error shown to the user.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads text as a signed decimal 64-bit integer (optional sign, digits only).
// Throws ConversionError for anything else.
int64_t DecimalToInt64(const std::string& text);

}  // namespace vxk
