// UTF-8 (the core's texts) to UTF-16 (the Win32 API's) and back.
#pragma once

#include <string>
#include <string_view>

namespace fwup::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace fwup::win32
