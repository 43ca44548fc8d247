// UTF-8 (the core's texts) to UTF-16 (the Win32 API's) and back; a system error code as a text.
#pragma once

#include <string>
#include <string_view>

namespace fwup::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's message for a GetLastError code, in UTF-8, with the code: "Access is denied
// (error 5)".
std::string SystemText(unsigned long error);

}  // namespace fwup::win32
