#pragma once
// The simulated system code page: Windows-1252 text to UTF-8.
#include <string>
#include <string_view>

namespace qel::os {

std::string windows1252ToUtf8(std::string_view text);

}  // namespace qel::os
