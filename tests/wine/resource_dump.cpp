#include "resource_dump.hpp"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

struct Flag {
  DWORD bit;
  const char* name;
};

constexpr Flag kWindowFlags[] = {
    {WS_POPUP, "WS_POPUP"},       {WS_CHILD, "WS_CHILD"},           {WS_VISIBLE, "WS_VISIBLE"},
    {WS_DISABLED, "WS_DISABLED"}, {WS_CAPTION, "WS_CAPTION"},       {WS_BORDER, "WS_BORDER"},
    {WS_DLGFRAME, "WS_DLGFRAME"}, {WS_VSCROLL, "WS_VSCROLL"},       {WS_HSCROLL, "WS_HSCROLL"},
    {WS_SYSMENU, "WS_SYSMENU"},   {WS_THICKFRAME, "WS_THICKFRAME"}, {WS_GROUP, "WS_GROUP"},
    {WS_TABSTOP, "WS_TABSTOP"},
};
constexpr Flag kDialogFlags[] = {
    {WS_MINIMIZEBOX, "WS_MINIMIZEBOX"}, {WS_MAXIMIZEBOX, "WS_MAXIMIZEBOX"}, {DS_MODALFRAME, "DS_MODALFRAME"},
    {DS_SETFONT, "DS_SETFONT"},         {DS_FIXEDSYS, "DS_FIXEDSYS"},       {DS_CENTER, "DS_CENTER"},
    {DS_3DLOOK, "DS_3DLOOK"},           {DS_CONTROL, "DS_CONTROL"},         {DS_SYSMODAL, "DS_SYSMODAL"},
};

// Names of a control's own style bits (the low 16), by class; bits without a name in hex.
std::string ControlStyle(const std::string& control_class, DWORD low) {
  std::string text;
  auto add = [&text](const char* name) { text += std::string(text.empty() ? "" : "|") + name; };
  auto take = [&low, &add](DWORD bit, const char* name) {
    if ((low & bit) == bit && bit != 0) {
      add(name);
      low &= ~bit;
    }
  };
  if (control_class == "Button") {
    if ((low & BS_TYPEMASK) == BS_PUSHBUTTON) add("BS_PUSHBUTTON");
    take(BS_DEFPUSHBUTTON, "BS_DEFPUSHBUTTON");
  } else if (control_class == "Edit") {
    if ((low & 3) == ES_LEFT) add("ES_LEFT");
    take(ES_AUTOHSCROLL, "ES_AUTOHSCROLL");
    take(ES_READONLY, "ES_READONLY");
  } else if (control_class == "Static") {
    const DWORD type = low & SS_TYPEMASK;
    add(type == SS_LEFT ? "SS_LEFT" : type == SS_RIGHT ? "SS_RIGHT" : type == SS_CENTER ? "SS_CENTER" : "SS_OTHER");
    low &= ~static_cast<DWORD>(SS_TYPEMASK);
    take(SS_CENTERIMAGE, "SS_CENTERIMAGE");
  }
  if (low != 0) {
    char rest[16];
    std::snprintf(rest, sizeof rest, "0x%lX", static_cast<unsigned long>(low));
    add(rest);
  }
  return text;
}

std::string Styles(DWORD style, const std::string& control_class, bool dialog) {
  std::string text;
  for (const Flag& flag : kWindowFlags) {
    // A dialog's WS_GROUP and WS_TABSTOP bits are its minimise and maximise boxes.
    if (dialog && (flag.bit == WS_GROUP || flag.bit == WS_TABSTOP)) continue;
    if ((flag.bit == WS_BORDER || flag.bit == WS_DLGFRAME) && (style & WS_CAPTION) == WS_CAPTION) continue;
    if ((style & flag.bit) == flag.bit) text += std::string(text.empty() ? "" : "|") + flag.name;
  }
  if (dialog) {
    for (const Flag& flag : kDialogFlags) {
      if ((style & flag.bit) == flag.bit) text += std::string(text.empty() ? "" : "|") + flag.name;
    }
  } else {
    const std::string own = ControlStyle(control_class, style & 0xFFFF);
    if (!own.empty()) text += "|" + own;
  }
  return text;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return out;
}

// Reads the template in order; a cursor that cannot run past the resource.
class Cursor {
 public:
  Cursor(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool Ok() const { return ok_; }
  template <typename T>
  T Get() {
    T value{};
    if (at_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  // A string or an ordinal (0xFFFF, then the ordinal).
  std::pair<std::string, int> SzOrOrd() {
    const WORD first = Get<WORD>();
    if (first == 0xFFFF) return {"", Get<WORD>()};
    std::wstring text;
    for (WORD c = first; ok_ && c != 0; c = Get<WORD>()) text += static_cast<wchar_t>(c);
    return {Utf8(text.c_str(), text.size()), -1};
  }
  std::string Text() { return SzOrOrd().first; }
  void AlignDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }
  void Skip(std::size_t bytes) { at_ += bytes; }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const BYTE* Resource(HMODULE module, LPCWSTR name, LPCWSTR type, std::size_t& size) {
  const HRSRC found = FindResourceW(module, name, type);
  if (found == nullptr) return nullptr;
  size = SizeofResource(module, found);
  const HGLOBAL loaded = LoadResource(module, found);
  return loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
}

bool DumpDialog(HMODULE module, std::vector<std::string>& lines) {
  std::size_t size = 0;
  const BYTE* data = Resource(module, MAKEINTRESOURCEW(131), MAKEINTRESOURCEW(5) /*RT_DIALOG*/, size);
  if (data == nullptr) return false;
  Cursor in(data, size);
  const WORD version = in.Get<WORD>();
  const WORD signature = in.Get<WORD>();
  if (version != 1 || signature != 0xFFFF) {
    lines.push_back("dialog 131 is not an extended template");
    return true;
  }
  in.Get<DWORD>();  // help ID
  const DWORD exstyle = in.Get<DWORD>();
  const DWORD style = in.Get<DWORD>();
  const WORD count = in.Get<WORD>();
  const short x = in.Get<short>(), y = in.Get<short>(), cx = in.Get<short>(), cy = in.Get<short>();
  const auto menu = in.SzOrOrd();
  const auto dialog_class = in.SzOrOrd();
  const std::string caption = in.Text();
  char line[512];
  std::snprintf(line, sizeof line, "dialog 131 caption %s at %d,%d size %dx%d menu %s class %s",
                Quoted(caption).c_str(), x, y, cx, cy, menu.first.empty() && menu.second < 0 ? "none" : "some",
                dialog_class.first.empty() && dialog_class.second < 0 ? "default" : "own");
  lines.push_back(line);
  lines.push_back("  style " + Styles(style, "", true));
  lines.push_back(std::string("  exstyle ") +
                  (exstyle == WS_EX_APPWINDOW ? "WS_EX_APPWINDOW" : std::to_string(exstyle)));
  if (style & DS_SETFONT) {
    const WORD points = in.Get<WORD>();
    const WORD weight = in.Get<WORD>();
    const BYTE italic = in.Get<BYTE>();
    const BYTE charset = in.Get<BYTE>();
    const std::string face = in.Text();
    std::snprintf(line, sizeof line, "  font %s %u weight %u italic %u charset %u", Quoted(face).c_str(), points,
                  weight, italic, charset);
    lines.push_back(line);
  }
  static const char* const kOrdinalClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
  for (WORD i = 0; i < count && in.Ok(); ++i) {
    in.AlignDword();
    in.Get<DWORD>();  // help ID
    const DWORD item_exstyle = in.Get<DWORD>();
    const DWORD item_style = in.Get<DWORD>();
    const short ix = in.Get<short>(), iy = in.Get<short>(), icx = in.Get<short>(), icy = in.Get<short>();
    const auto id = static_cast<int>(in.Get<DWORD>());
    const auto item_class = in.SzOrOrd();
    // Class names are case-insensitive; windres stores a named class in upper case.
    std::string class_name = item_class.first;
    for (char& c : class_name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (item_class.second >= 0x80 && item_class.second <= 0x85) class_name = kOrdinalClasses[item_class.second - 0x80];
    const auto text = in.SzOrOrd();
    const WORD extra = in.Get<WORD>();
    in.Skip(extra);
    std::snprintf(line, sizeof line, "control %d %s %s at %d,%d size %dx%d style %s%s", id, class_name.c_str(),
                  Quoted(text.first).c_str(), ix, iy, icx, icy, Styles(item_style, class_name, false).c_str(),
                  item_exstyle ? " exstyle set" : "");
    lines.push_back(line);
  }
  return in.Ok();
}

void DumpString(HMODULE module, UINT id, std::vector<std::string>& lines) {
  wchar_t text[100];
  const int length = LoadStringW(module, id, text, 100);
  lines.push_back("string " + std::to_string(id) + " " + Quoted(Utf8(text, length > 0 ? length : 0)));
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

void DumpIcon(HMODULE module, WORD id, std::vector<std::string>& lines) {
  std::size_t size = 0;
  const BYTE* data = Resource(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14) /*RT_GROUP_ICON*/, size);
  std::string line = "icon " + std::to_string(id);
  if (data == nullptr || size < 6) {
    lines.push_back(line + " missing");
    return;
  }
  WORD count = 0;
  std::memcpy(&count, data + 4, 2);
  for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupIconEntry) <= size; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, data + 6 + i * sizeof(GroupIconEntry), sizeof entry);
    char image[32];
    std::snprintf(image, sizeof image, " %dx%d@%u", entry.width == 0 ? 256 : entry.width,
                  entry.height == 0 ? 256 : entry.height, entry.bit_count);
    line += image;
  }
  lines.push_back(line);
}

}  // namespace

std::vector<std::string> DumpResources(const std::wstring& program, std::string& error) {
  std::vector<std::string> lines;
  const HMODULE module =
      LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) {
    error = "cannot load the program's resources";
    return {};
  }
  if (!DumpDialog(module, lines)) error = "dialog template 131 missing or cut short";
  DumpString(module, 103, lines);
  DumpString(module, 109, lines);
  DumpIcon(module, 107, lines);
  DumpIcon(module, 108, lines);
  FreeLibrary(module);
  return lines;
}
