#include "ui_probe.hpp"

#include <commctrl.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace ui {
namespace {

constexpr UINT kTimeoutMs = 2000;

struct Search {
  DWORD process;
  const wchar_t* caption;
  bool visible_only;
  int needs_item;  // 0: none
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  DWORD owner_process = 0;
  GetWindowThreadProcessId(window, &owner_process);
  if (owner_process != search.process) return TRUE;
  wchar_t class_name[16];
  if (GetClassNameW(window, class_name, 16) == 0 || lstrcmpW(class_name, L"#32770") != 0) return TRUE;
  if (search.visible_only && !IsWindowVisible(window)) return TRUE;
  if (search.caption != nullptr) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (lstrcmpW(caption, search.caption) != 0) return TRUE;
  }
  if (search.needs_item != 0 && GetDlgItem(window, search.needs_item) == nullptr) return TRUE;
  search.found = window;
  return FALSE;
}

HWND Find(DWORD process, const wchar_t* caption, bool visible_only, int needs_item) {
  Search search{process, caption, visible_only, needs_item, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

// The colours of a square of the screen, row by row.
std::vector<COLORREF> Capture(HDC source, int x, int y, int size) {
  std::vector<COLORREF> pixels;
  for (int row = 0; row < size; ++row) {
    for (int column = 0; column < size; ++column) pixels.push_back(GetPixel(source, x + column, y + row));
  }
  return pixels;
}

long Distance(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
  long sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    sum += std::abs(GetRValue(a[i]) - GetRValue(b[i])) + std::abs(GetGValue(a[i]) - GetGValue(b[i])) +
           std::abs(GetBValue(a[i]) - GetBValue(b[i]));
  }
  return sum;
}

}  // namespace

HWND FindDialog(DWORD process, const wchar_t* caption, bool visible_only) {
  return Find(process, caption, visible_only, 0);
}
HWND FindMessageBox(DWORD process) { return Find(process, nullptr, true, 0xFFFF); }
HWND FindFileChooser(DWORD process) { return Find(process, nullptr, true, 0x47C); }

std::string Text(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kTimeoutMs, &result);
  return Utf8(text);
}

std::string ItemText(HWND dialog, int id) {
  const HWND item = GetDlgItem(dialog, id);
  return item ? Text(item) : "<no control " + std::to_string(id) + ">";
}

int ButtonCount(HWND box) {
  int count = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[16];
    if (GetClassNameW(child, class_name, 16) && lstrcmpiW(class_name, L"Button") == 0 && IsWindowVisible(child)) {
      ++count;
    }
  }
  return count;
}

std::string BoxIcon(HWND box) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[16];
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (GetClassNameW(child, class_name, 16) && lstrcmpiW(class_name, L"Static") == 0 &&
        (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
      icon = child;
    }
  }
  if (icon == nullptr) return "none";
  RECT place;
  GetWindowRect(icon, &place);
  const int size = GetSystemMetrics(SM_CXICON);
  const HDC screen = GetDC(nullptr);
  const std::vector<COLORREF> shown = Capture(screen, place.left, place.top, size);
  const COLORREF background = GetPixel(screen, place.left, place.top);

  const HDC canvas = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  const HGDIOBJ previous = SelectObject(canvas, bitmap);
  const HBRUSH brush = CreateSolidBrush(background);
  // An icon control may be there with no icon in it: "none" is the bare background.
  const std::pair<LPCWSTR, const char*> kinds[] = {{nullptr, "none"},
                                                   {IDI_WARNING, "warning"},
                                                   {IDI_ERROR, "error"},
                                                   {IDI_INFORMATION, "information"},
                                                   {IDI_QUESTION, "question"}};
  std::string best = "unknown";
  long best_distance = LONG_MAX;
  for (const auto& [resource, name] : kinds) {
    RECT all{0, 0, size, size};
    FillRect(canvas, &all, brush);
    if (resource != nullptr) DrawIconEx(canvas, 0, 0, LoadIconW(nullptr, resource), size, size, 0, nullptr, DI_NORMAL);
    const long distance = Distance(shown, Capture(canvas, 0, 0, size));
    if (distance < best_distance) {
      best_distance = distance;
      best = name;
    }
  }
  DeleteObject(brush);
  SelectObject(canvas, previous);
  DeleteObject(bitmap);
  DeleteDC(canvas);
  ReleaseDC(nullptr, screen);
  return best;
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool SetItemText(HWND dialog, int id, const std::wstring& text) {
  const HWND item = GetDlgItem(dialog, id);
  DWORD_PTR result = 0;
  return item && SendMessageTimeoutW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                     kTimeoutMs, &result);
}

}  // namespace ui
