// Drives the dialog program under Wine as a user would, from a script of steps, and checks what
// it shows. The program runs as our debuggee (its trace lines are collected); a pipe server for
// the simulated device can be started first.
//
// driver --program EXE [--server "EXE ARGS"] [--pipe NAME] --script FILE --out DIR [--var NAME=VALUE]...
//        [--patience MS] [--untraced]
//
// Steps, one a line ("#" starts a comment; strings in double quotes with \r \n \" \\; ${NAME} is
// replaced by a --var value):
//   resources                       the program's resources, written to DIR/resources.txt
//   launch                          start the program (and the server before it)
//   dialog                          wait for the upgrade dialog to be visible
//   text ID "TEXT"                  a control of the dialog shows TEXT
//   progress N / range LO HI        the progress bar's position / range
//   centred / focus ID              the dialog is centred on the screen / ID has the focus
//   click ID                        press a button of the dialog
//   type ID "TEXT"                  put TEXT into a control by hand
//   choose "PATH" / cancel-chooser  fill in and accept, or cancel, the file chooser
//   box "CAPTION" "TEXT" ICON OWNER a message box is shown: ICON warning|none, OWNER
//                                   dialog|none, with one button
//   ok                              press OK on that box
//   close                           close the dialog from its caption bar
//   screenshot                      ask the test script for a screenshot (DIR/shot.request)
//   exit CODE                       the program ends with CODE; the dialog was never shown if
//   never-shown                     ... this step follows
//   no-trace                        nothing was traced
// Writes DIR/trace.txt (every line collected; none with --untraced, which runs the program as a
// plain child, not a debuggee) and DIR/stdout.txt. Exit code 0 when every step
// passed.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "debuggee.hpp"
#include "resource_dump.hpp"
#include "ui_probe.hpp"

namespace {

constexpr wchar_t kCaption[] = L"Quillmark Firmware Upgrade Tool";
// How long anything a user would see may take to appear; --patience raises it on an emulated
// machine, where a whole upgrade through a real HID stack takes longer than the default.
DWORD patience_ms = 20000;
constexpr int kPollMs = 10;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c < 0x80 ? c : '?');
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Splits a step into words; a quoted word keeps its blanks and its escapes are decoded.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          const char next = line[++i];
          word += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
        } else {
          word += line[i];
        }
      }
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

struct Options {
  std::wstring program;
  std::wstring server;
  std::wstring pipe;
  std::string script;
  std::string out;
  std::map<std::string, std::string> vars;
  bool traced = true;
};

class Driver {
 public:
  explicit Driver(Options options) : options_(std::move(options)) {}
  ~Driver() {
    watching_ = false;
    if (watcher_.joinable()) watcher_.join();
    app_.Kill();
    if (server_ != nullptr) {
      if (WaitForSingleObject(server_, 5000) == WAIT_TIMEOUT) TerminateProcess(server_, 98);
      CloseHandle(server_);
    }
  }

  int Run() {
    std::ifstream script(options_.script);
    if (!script) return Fail("cannot read the script " + options_.script);
    std::string line;
    int number = 0;
    // Each step with the seconds since the start, so that a slow run shows where its time went.
    const ULONGLONG started = GetTickCount64();
    while (std::getline(script, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line = Substitute(line);
      const std::vector<std::string> words = Words(line);
      if (words.empty() || words[0][0] == '#') continue;
      std::printf("driver: %d: [%.1f s] %s\n", number, static_cast<double>(GetTickCount64() - started) / 1000.0,
                  Escape(line).c_str());
      std::fflush(stdout);
      if (!Step(words)) {
        failed_ = true;
        break;
      }
    }
    WriteCollected();
    return failed_ ? 1 : 0;
  }

 private:
  std::string Substitute(std::string line) const {
    for (const auto& [name, raw] : options_.vars) {
      // Kept as it is inside a quoted word: Windows paths are full of backslashes.
      std::string value;
      for (char c : raw) value += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
      const std::string key = "${" + name + "}";
      for (std::size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + value.size())) {
        line.replace(at, key.size(), value);
      }
    }
    return line;
  }

  static int Fail(const std::string& why) {
    std::printf("driver: FAILED: %s\n", why.c_str());
    std::fflush(stdout);
    return 1;
  }
  static bool Check(bool ok, const std::string& why) {
    if (!ok) Fail(why);
    return ok;
  }
  static bool Same(const std::string& what, const std::string& expected, const std::string& actual) {
    return Check(expected == actual,
                 what + ": expected \"" + Escape(expected) + "\", shown \"" + Escape(actual) + "\"");
  }

  template <typename Probe>
  static auto WaitFor(Probe probe, DWORD milliseconds = patience_ms) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    auto found = probe();
    while (!found && GetTickCount64() < until) {
      Sleep(kPollMs);
      found = probe();
    }
    return found;
  }

  HWND Dialog() { return ui::FindDialog(app_.ProcessId(), kCaption); }

  bool Step(const std::vector<std::string>& w) {
    const std::string& op = w[0];
    auto arg = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
    auto number = [&w](std::size_t i) { return i < w.size() ? std::stol(w[i], nullptr, 0) : 0L; };

    if (op == "resources") return DumpProgramResources();
    if (op == "launch") return Launch();
    if (op == "dialog") {
      dialog_ = WaitFor([this] { return Dialog(); });
      if (!Check(dialog_ != nullptr, "the upgrade dialog was not shown")) return false;
      // Shown is not yet ready: wait until its initialisation has returned and it takes messages.
      DWORD_PTR result = 0;
      return Check(SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, patience_ms, &result) != 0,
                   "the upgrade dialog does not respond");
    }
    // A text or position is given time to appear, as a user would wait for it: on a slow machine
    // the program may not have set it yet when the step before has ended.
    if (op == "text") {
      if (!NeedDialog()) return false;
      const auto shown = [this, id = number(1)] { return ui::ItemText(dialog_, id); };
      WaitFor([&] { return shown() == arg(2); });
      return Same("control " + arg(1), arg(2), shown());
    }
    if (op == "progress") {
      if (!NeedDialog()) return false;
      const auto shown = [this] { return std::to_string(SendMessageW(GetDlgItem(dialog_, 1006), PBM_GETPOS, 0, 0)); };
      WaitFor([&] { return shown() == arg(1); });
      return Same("progress", arg(1), shown());
    }
    if (op == "range") {
      if (!NeedDialog()) return false;
      // Both ends come back as results (wParam TRUE: the low end), so no memory of ours has to
      // cross to the other process.
      const LRESULT low = SendMessageW(GetDlgItem(dialog_, 1006), PBM_GETRANGE, TRUE, 0);
      const LRESULT high = SendMessageW(GetDlgItem(dialog_, 1006), PBM_GETRANGE, FALSE, 0);
      return Same("progress range", arg(1) + ".." + arg(2), std::to_string(low) + ".." + std::to_string(high));
    }
    if (op == "centred") return NeedDialog() && CheckCentred();
    if (op == "focus") {
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      if (!NeedDialog() || !GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info)) {
        return Check(false, "cannot read the focus");
      }
      return Same("focus", arg(1), std::to_string(info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0));
    }
    if (op == "click") {
      if (!NeedDialog()) return false;
      ui::Click(dialog_, number(1));
      return true;
    }
    if (op == "type") return NeedDialog() && Check(ui::SetItemText(dialog_, number(1), Wide(arg(2))), "cannot type");
    if (op == "choose" || op == "cancel-chooser") return Chooser(op == "choose", arg(1));
    if (op == "box") return CheckBox(arg(1), arg(2), arg(3), arg(4));
    if (op == "ok") {
      if (!Check(box_ != nullptr, "no message box to press OK on")) return false;
      PostMessageW(GetDlgItem(box_, IDOK), BM_CLICK, 0, 0);
      const HWND pressed = box_;
      box_ = nullptr;
      return Check(WaitFor([pressed] { return !IsWindow(pressed); }), "the message box stayed after OK");
    }
    if (op == "close") {
      if (!NeedDialog()) return false;
      PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    }
    if (op == "screenshot") return Screenshot();
    if (op == "exit") {
      DWORD code = 0;
      if (!Check(app_.WaitExit(patience_ms, code), "the program did not end")) return false;
      if (!Same("exit code", arg(1), std::to_string(code))) return false;
      return WaitServer();
    }
    if (op == "never-shown") return Check(!seen_visible_, "the upgrade dialog became visible");
    if (op == "no-trace") {
      return Check(options_.traced, "no-trace needs the trace (not --untraced)") &&
             Check(app_.TraceLines().empty(), "trace lines were written");
    }
    return Check(false, "unknown step " + op);
  }

  bool NeedDialog() { return Check(dialog_ != nullptr && IsWindow(dialog_), "the upgrade dialog is not there"); }

  bool DumpProgramResources() {
    std::string error;
    const std::vector<std::string> lines = DumpResources(options_.program, error);
    std::ofstream out(options_.out + "/resources.txt", std::ios::binary);
    for (const std::string& line : lines) out << line << "\n";
    return Check(error.empty(), error);
  }

  bool Launch() {
    if (!options_.server.empty() && !StartServer()) return false;
    if (!options_.pipe.empty()) SetEnvironmentVariableW(L"FWUP_TEST_PIPE", options_.pipe.c_str());
    if (!Check(app_.Start(L"\"" + options_.program + L"\"", Wide(options_.out + "/stdout.txt"), options_.traced),
               "the program did not start")) {
      return false;
    }
    // Whether the dialog ever becomes visible, looked at until it has been seen: a walk of the
    // windows every 5 ms loads Wine's server, which the program's every transfer goes through.
    watching_ = true;
    watcher_ = std::thread([this] {
      while (watching_ && !seen_visible_) {
        if (ui::FindDialog(app_.ProcessId(), kCaption)) seen_visible_ = true;
        Sleep(5);
      }
    });
    return true;
  }

  bool StartServer() {
    const std::wstring ready_name = L"fwup-ready-" + options_.pipe;
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str());
    std::wstring command = options_.server + L" --ready " + ready_name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      return Check(false, "the pipe server did not start");
    }
    CloseHandle(info.hThread);
    server_ = info.hProcess;
    const HANDLE waits[2] = {ready, server_};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, patience_ms);
    CloseHandle(ready);
    return Check(woke == WAIT_OBJECT_0, "the pipe server is not listening");
  }

  bool WaitServer() {
    if (server_ == nullptr) return true;
    if (!Check(WaitForSingleObject(server_, patience_ms) == WAIT_OBJECT_0, "the pipe server did not end")) return false;
    DWORD code = 1;
    GetExitCodeProcess(server_, &code);
    return Check(code == 0, "the pipe server failed with " + std::to_string(code));
  }

  bool CheckCentred() {
    RECT outer;
    GetWindowRect(dialog_, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    return Same("dialog position", std::to_string(x) + "," + std::to_string(y),
                std::to_string(outer.left) + "," + std::to_string(outer.top));
  }

  bool Chooser(bool accept, const std::string& path) {
    const HWND chooser = WaitFor([this] { return ui::FindFileChooser(app_.ProcessId()); });
    if (!Check(chooser != nullptr, "the file chooser did not open")) return false;
    if (!Check(GetWindow(chooser, GW_OWNER) == dialog_, "the file chooser is not owned by the dialog")) return false;
    // On a slow machine the chooser's window shows before its file name field takes input, so
    // the name is filled in until the field holds it.
    const auto filled = [chooser, &path] {
      return ui::SetItemText(chooser, 0x47C, Wide(path)) && ui::ItemText(chooser, 0x47C) == path;
    };
    if (accept && !Check(WaitFor(filled), "cannot fill in the file name")) return false;
    PostMessageW(GetDlgItem(chooser, accept ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
    return Check(WaitFor([chooser] { return !IsWindow(chooser) || !IsWindowVisible(chooser); }),
                 "the file chooser stayed open");
  }

  // Wine 8 does not make a box with MB_TOPMOST a topmost window, so that style is not looked at.
  bool CheckBox(const std::string& caption, const std::string& text, const std::string& icon,
                const std::string& owner) {
    box_ = WaitFor([this] { return ui::FindMessageBox(app_.ProcessId()); });
    if (!Check(box_ != nullptr, "no message box was shown (expected \"" + Escape(text) + "\")")) return false;
    // The icon is judged from the screen, so it is looked at until the box has been drawn: a box
    // that is not drawn yet shows only its background.
    Sleep(100);
    std::string shown_icon;
    WaitFor([&] {
      shown_icon = ui::BoxIcon(box_);
      return shown_icon == icon;
    });
    const HWND box_owner = GetWindow(box_, GW_OWNER);
    const std::string shown_owner = box_owner == nullptr                                             ? "none"
                                    : box_owner == ui::FindDialog(app_.ProcessId(), kCaption, false) ? "dialog"
                                                                                                     : "other";
    return Same("box caption", caption, ui::Text(box_)) && Same("box text", text, ui::ItemText(box_, 0xFFFF)) &&
           Same("box icon", icon, shown_icon) && Same("box owner", owner, shown_owner) &&
           Same("box buttons", "1", std::to_string(ui::ButtonCount(box_)));
  }

  bool Screenshot() {
    if (!NeedDialog()) return false;
    RECT outer;
    GetWindowRect(dialog_, &outer);
    const std::string request = options_.out + "/shot.request";
    const std::string done = options_.out + "/shot.done";
    {
      std::ofstream out(request + ".part");
      out << (outer.right - outer.left) << "x" << (outer.bottom - outer.top) << "+" << outer.left << "+" << outer.top
          << "\n";
    }
    MoveFileW(Wide(request + ".part").c_str(), Wide(request).c_str());
    const bool taken = WaitFor([&done] { return GetFileAttributesW(Wide(done).c_str()) != INVALID_FILE_ATTRIBUTES; });
    return Check(taken, "no screenshot was taken");
  }

  void WriteCollected() {
    std::ofstream trace(options_.out + "/trace.txt", std::ios::binary);
    for (const std::string& line : app_.TraceLines()) trace << line;
  }

  Options options_;
  Debuggee app_;
  HANDLE server_ = nullptr;
  HWND dialog_ = nullptr;
  HWND box_ = nullptr;
  std::thread watcher_;
  std::atomic<bool> watching_{false};
  std::atomic<bool> seen_visible_{false};
  bool failed_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--untraced") {
      options.traced = false;
      continue;
    }
    if (i + 1 >= argc) break;
    const std::wstring value = argv[++i];
    if (name == L"--program") {
      options.program = value;
    } else if (name == L"--server") {
      options.server = value;
    } else if (name == L"--pipe") {
      options.pipe = value;
    } else if (name == L"--script") {
      options.script = Narrow(value);
    } else if (name == L"--out") {
      options.out = Narrow(value);
    } else if (name == L"--patience") {
      patience_ms = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (name == L"--var") {
      const std::string pair = Narrow(value);
      const std::size_t equals = pair.find('=');
      if (equals != std::string::npos) options.vars[pair.substr(0, equals)] = pair.substr(equals + 1);
    }
  }
  if (options.program.empty() || options.script.empty() || options.out.empty() || patience_ms == 0) {
    std::fprintf(stderr,
                 "usage: driver --program EXE [--server CMD] [--pipe NAME] --script FILE --out DIR "
                 "[--var NAME=VALUE]... [--patience MS] [--untraced]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  return Driver(std::move(options)).Run();
}
