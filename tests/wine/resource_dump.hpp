// The dialog program's resources as canonical text lines, for comparison with what the
// template table, the string table and the icon list say: the dialog template IDD_UPGRADE with
// every control in template order, strings 103 and 109, and the images of icons 107 and 108.
#pragma once

#include <string>
#include <vector>

// Empty with `error` set when the program or a resource cannot be read.
std::vector<std::string> DumpResources(const std::wstring& program, std::string& error);
