#pragma once

#include <cstdint>
#include <string>

namespace vxk {

// Windows-1252, the device's 8-bit character set. The five bytes it leaves undefined map to
// the C1 code points of the same value, so every byte has a character and back.
char32_t Cp1252ToUnicode(uint8_t byte);
// The byte of a character, or -1 when the character set has none.
int UnicodeToCp1252(char32_t ch);

// Wide text (as USB strings arrive) to 8-bit text; characters without a byte become '?'.
std::string WideToCp1252(const std::wstring& text);

}  // namespace vxk
