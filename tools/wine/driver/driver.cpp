// Test driver: acts and observes on the desktop it runs on, as a user would.
//
// It must run inside the same Wine desktop as the program under test (a
// program started with plain `wine X.exe` lands on another desktop and sees
// none of its windows). It listens on 127.0.0.1:<port> and serves one
// connection at a time: each request is one line of TAB-separated words
// (\t \n \r \\ escaped inside a word), each answer one line of JSON.
//
//   pellux_driver.exe <port> [log file]

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

FILE* g_log = nullptr;

void Log(const std::string& line) {
  if (!g_log) return;
  std::fprintf(g_log, "%s\n", line.c_str());
  std::fflush(g_log);
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::wstring FromAnsi(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// Minimal JSON writer: objects and arrays are built as text.
std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  char buf[8];
  for (wchar_t c : text) {
    if (c == L'"') {
      out += "\\\"";
    } else if (c == L'\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c) & 0xffffu);
      out += buf;
    }
  }
  return out + "\"";
}

class Obj {
 public:
  Obj& Str(const char* key, const std::wstring& value) { return Raw(key, Quote(value)); }
  Obj& Num(const char* key, long long value) { return Raw(key, std::to_string(value)); }
  Obj& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
  Obj& Raw(const char* key, const std::string& json) {
    if (!body_.empty()) body_ += ",";
    body_ += "\"";
    body_ += key;
    body_ += "\":";
    body_ += json;
    return *this;
  }
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

std::string Array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += items[i];
  }
  return out + "]";
}

std::string RectJson(const RECT& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + "]";
}

std::string Ok(Obj obj = {}) { return obj.Bool("ok", true).Text(); }
std::string Fail(const std::string& why) { return Obj().Bool("ok", false).Str("error", Widen(why)).Text(); }

long long HandleNumber(HWND hwnd) { return static_cast<long long>(reinterpret_cast<UINT_PTR>(hwnd)); }

HWND ParseHwnd(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text.c_str(), nullptr, 0)));
}

long long ParseNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 0); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256] = {};
  GetClassNameW(hwnd, buf, 256);
  return buf;
}

// WM_GETTEXT is marshalled across processes; GetWindowText of another
// process's window would not ask the control for its text.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                           &copied))
    return {};
  text.resize(static_cast<size_t>(copied));
  return text;
}

Obj WindowInfo(HWND hwnd) {
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  RECT window = {}, client = {};
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  Obj obj;
  obj.Num("hwnd", HandleNumber(hwnd))
      .Num("pid", pid)
      .Num("tid", tid)
      .Str("class", ClassOf(hwnd))
      .Str("text", TextOf(hwnd))
      .Num("style", static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)))
      .Num("exstyle", static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)))
      .Num("owner", HandleNumber(GetWindow(hwnd, GW_OWNER)))
      .Num("parent", HandleNumber(GetAncestor(hwnd, GA_PARENT)))
      .Num("id", GetDlgCtrlID(hwnd))
      .Bool("visible", IsWindowVisible(hwnd) != FALSE)
      .Bool("hung", IsHungAppWindow(hwnd) != FALSE)
      .Bool("enabled", IsWindowEnabled(hwnd) != FALSE)
      .Raw("rect", RectJson(window))
      .Raw("client", RectJson(client))
      .Raw("origin", "[" + std::to_string(origin.x) + "," + std::to_string(origin.y) + "]");
  return obj;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> out;
  EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> out;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

std::string CmdWindows() {
  std::vector<std::string> items;
  for (HWND hwnd : TopWindows()) items.push_back(WindowInfo(hwnd).Text());
  return Ok(Obj().Raw("windows", Array(items)));
}

std::string CmdChildren(HWND parent) {
  if (!IsWindow(parent)) return Fail("no such window");
  std::vector<std::string> items;
  for (HWND hwnd : ChildWindows(parent)) items.push_back(WindowInfo(hwnd).Text());
  return Ok(Obj().Raw("children", Array(items)));
}

// A message box is a #32770 dialog. On Windows its text sits on the static
// control 0xFFFF; under Wine the first static control that is not the icon
// holds it.
std::string CmdMessageBoxes() {
  std::vector<std::string> boxes;
  for (HWND box : TopWindows()) {
    if (ClassOf(box) != L"#32770" || !IsWindowVisible(box)) continue;
    std::wstring text;
    bool text_by_id = false;
    bool icon = false;
    std::vector<std::string> buttons;
    for (HWND child : ChildWindows(box)) {
      const std::wstring cls = ClassOf(child);
      const LONG style = GetWindowLongW(child, GWL_STYLE);
      if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
          DWORD_PTR hicon = 0;
          SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &hicon);
          if (IsWindowVisible(child) && hicon) icon = true;
          continue;
        }
        const std::wstring t = TextOf(child);
        if (GetDlgCtrlID(child) == 0xFFFF && !t.empty()) {
          text = t;
          text_by_id = true;
        } else if (!text_by_id && text.empty() && !t.empty()) {
          text = t;
        }
      } else if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
        buttons.push_back(Obj().Num("id", GetDlgCtrlID(child)).Str("text", TextOf(child)).Text());
      }
    }
    boxes.push_back(WindowInfo(box).Str("message", text).Bool("icon", icon).Raw("buttons", Array(buttons)).Text());
  }
  return Ok(Obj().Raw("boxes", Array(boxes)));
}

std::string CmdFocus(HWND hwnd) {
  const DWORD tid = GetWindowThreadProcessId(hwnd, nullptr);
  if (!tid) return Fail("no such window");
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(tid, &info)) return Fail("GetGUIThreadInfo failed");
  return Ok(Obj()
                .Num("focus", HandleNumber(info.hwndFocus))
                .Num("focus_id", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0)
                .Num("active", HandleNumber(info.hwndActive))
                .Num("foreground", HandleNumber(GetForegroundWindow())));
}

std::string CmdSetFocus(HWND hwnd) {
  const DWORD tid = GetWindowThreadProcessId(hwnd, nullptr);
  if (!tid) return Fail("no such window");
  const DWORD own = GetCurrentThreadId();
  AttachThreadInput(own, tid, TRUE);
  SetForegroundWindow(GetAncestor(hwnd, GA_ROOT));
  SetFocus(hwnd);
  AttachThreadInput(own, tid, FALSE);
  return Ok();
}

void SendKey(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

std::string CmdKeys(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const WORD vk = static_cast<WORD>(ParseNumber(args[i]));
    SendKey(vk, false);
    Sleep(20);
    SendKey(vk, true);
    Sleep(20);
  }
  return Ok();
}

std::string CmdType(const std::wstring& text) {
  for (wchar_t c : text) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wScan = input[1].ki.wScan = c;
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
    Sleep(20);
  }
  return Ok();
}

std::string CmdClick(HWND hwnd, const std::vector<std::string>& args) {
  RECT r = {};
  if (!GetWindowRect(hwnd, &r)) return Fail("no such window");
  int x = (r.left + r.right) / 2;
  int y = (r.top + r.bottom) / 2;
  if (args.size() >= 4) {
    x = r.left + static_cast<int>(ParseNumber(args[2]));
    y = r.top + static_cast<int>(ParseNumber(args[3]));
  }
  // Wine hands the pointer to the X server asynchronously: a press without a
  // position of its own can land where the pointer was before the move (on
  // the control an earlier test clicked). Every event carries the position.
  SetCursorPos(x, y);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = width > 1 ? MulDiv(x, 65535, width - 1) : 0;
  input.mi.dy = height > 1 ? MulDiv(y, 65535, height - 1) : 0;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
  for (int i = 0; i < 50; ++i) {
    POINT at = {};
    if (GetCursorPos(&at) && at.x == x && at.y == y) break;
    Sleep(20);
  }
  Sleep(30);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof input);
  Sleep(60);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
  return Ok(Obj().Num("x", x).Num("y", y));
}

std::string CmdMessage(bool post, const std::vector<std::string>& args) {
  if (args.size() < 5) return Fail("usage: post|send hwnd msg wparam lparam");
  const HWND hwnd = ParseHwnd(args[1]);
  const UINT msg = static_cast<UINT>(ParseNumber(args[2]));
  const WPARAM wparam = static_cast<WPARAM>(ParseNumber(args[3]));
  const LPARAM lparam = static_cast<LPARAM>(ParseNumber(args[4]));
  if (post) {
    if (!PostMessageW(hwnd, msg, wparam, lparam)) return Fail("PostMessage failed");
    return Ok();
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result))
    return Fail("SendMessageTimeout failed");
  return Ok(Obj().Num("result", static_cast<long long>(result)));
}

std::string CmdSetText(HWND hwnd, const std::wstring& text) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                           &result))
    return Fail("WM_SETTEXT failed");
  return Ok();
}

// Colours as the screen shows them, 0x00BBGGRR.
std::string CmdPixels(const std::vector<std::string>& args) {
  HDC screen = GetDC(nullptr);
  if (!screen) return Fail("GetDC failed");
  std::vector<std::string> values;
  for (size_t i = 1; i + 1 < args.size(); i += 2) {
    const COLORREF c = GetPixel(screen, static_cast<int>(ParseNumber(args[i])),
                                static_cast<int>(ParseNumber(args[i + 1])));
    values.push_back(std::to_string(static_cast<unsigned long>(c)));
  }
  ReleaseDC(nullptr, screen);
  return Ok(Obj().Raw("colours", Array(values)));
}

// The whole screen as a 24-bit BMP file.
std::string CmdScreenshot(const std::wstring& path) {
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::string answer;
  if (dib && memory) {
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    SelectObject(memory, old);
    GdiFlush();
    const DWORD row = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD image = row * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + image;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out) {
      std::fwrite(&file, sizeof file, 1, out);
      std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
      std::fwrite(bits, image, 1, out);
      std::fclose(out);
      answer = Ok(Obj().Num("width", width).Num("height", height));
    } else {
      answer = Fail("cannot write the file");
    }
  } else {
    answer = Fail("no bitmap");
  }
  if (dib) DeleteObject(dib);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return answer;
}

std::wstring ImagePath(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  wchar_t buf[1024] = {};
  DWORD size = 1024;
  std::wstring out;
  if (QueryFullProcessImageNameW(process, 0, buf, &size)) out.assign(buf, size);
  CloseHandle(process);
  return out;
}

std::string CmdProcesses() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return Fail("CreateToolhelp32Snapshot failed");
  std::vector<std::string> items;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
    items.push_back(Obj()
                        .Num("pid", entry.th32ProcessID)
                        .Num("ppid", entry.th32ParentProcessID)
                        .Str("exe", entry.szExeFile)
                        .Str("path", ImagePath(entry.th32ProcessID))
                        .Text());
  }
  CloseHandle(snap);
  return Ok(Obj().Raw("processes", Array(items)));
}

// Handles of processes the tests watch, kept so that the exit code of a
// process that has ended can still be read.
std::map<DWORD, HANDLE> g_held;

HANDLE Held(DWORD pid) {
  auto it = g_held.find(pid);
  if (it != g_held.end()) return it->second;
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  if (process) g_held[pid] = process;
  return process;
}

std::string CmdStart(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("usage: start exe [folder] [command line]");
  const std::wstring exe = Widen(args[1]);
  const std::wstring folder = args.size() > 2 && !args[2].empty() ? Widen(args[2]) : std::wstring();
  std::wstring command = args.size() > 3 ? Widen(args[3]) : L"\"" + exe + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return Fail("CreateProcess failed: " + std::to_string(GetLastError()));
  CloseHandle(pi.hThread);
  g_held[pi.dwProcessId] = pi.hProcess;
  return Ok(Obj().Num("pid", pi.dwProcessId));
}

std::string CmdHold(DWORD pid) {
  if (!Held(pid)) return Fail("OpenProcess failed: " + std::to_string(GetLastError()));
  return Ok();
}

// Named mutexes the driver holds for a test, standing for another program's
// (another session's monitor's claim), until the test lets them go.
std::map<std::wstring, HANDLE> g_mutexes;

std::string CmdMutex(const std::wstring& name, const std::string& what) {
  auto it = g_mutexes.find(name);
  if (it != g_mutexes.end()) {
    CloseHandle(it->second);
    g_mutexes.erase(it);
  }
  if (what == "off") return Ok();
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex) return Fail("CreateMutex failed: " + std::to_string(GetLastError()));
  g_mutexes[name] = mutex;
  return Ok();
}

std::string CmdWait(DWORD pid, DWORD ms) {
  HANDLE process = Held(pid);
  if (!process) return Fail("OpenProcess failed: " + std::to_string(GetLastError()));
  const DWORD waited = WaitForSingleObject(process, ms);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return Ok(Obj().Bool("exited", waited == WAIT_OBJECT_0).Num("code", code));
}

std::string CmdKill(DWORD pid, UINT code) {
  HANDLE process = Held(pid);
  if (!process) return Fail("OpenProcess failed: " + std::to_string(GetLastError()));
  if (!TerminateProcess(process, code)) return Fail("TerminateProcess failed: " + std::to_string(GetLastError()));
  const bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
  return Ok(Obj().Bool("exited", ended));
}

// Reads a tooltip control's tools. The control lives in the shell's process,
// so the TOOLINFOA and its text buffer have to be placed in that process's
// memory for TTM_ENUMTOOLSA to fill them.
struct Tool {
  std::wstring text;
  HWND hwnd;
  UINT_PTR id;
  RECT rect;
};

std::vector<Tool> ToolTexts(HWND tooltip) {
  std::vector<Tool> out;
  DWORD pid = 0;
  GetWindowThreadProcessId(tooltip, &pid);
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(tooltip, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count)) return out;
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return out;
  constexpr SIZE_T kTextSize = 4096;
  const SIZE_T total = sizeof(TTTOOLINFOA) + kTextSize;
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, total, MEM_COMMIT, PAGE_READWRITE));
  if (remote) {
    for (DWORD_PTR i = 0; i < count; ++i) {
      TTTOOLINFOA info = {};
      info.cbSize = sizeof info;
      info.lpszText = remote + sizeof info;
      std::vector<char> text(kTextSize, '\0');
      WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
      WriteProcessMemory(process, remote + sizeof info, text.data(), kTextSize, nullptr);
      DWORD_PTR ok = 0;
      SendMessageTimeoutW(tooltip, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &ok);
      if (!ok) continue;
      ReadProcessMemory(process, remote, &info, sizeof info, nullptr);
      ReadProcessMemory(process, remote + sizeof info, text.data(), kTextSize, nullptr);
      text.back() = '\0';
      out.push_back(Tool{FromAnsi(text.data()), info.hwnd, info.uId, info.rect});
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return out;
}

// Under Wine the shell's tray keeps the icons' tips in tooltip controls of
// its own process: Wine 8 has one tooltip owned by the taskbar window with one
// tool per icon; later versions give each icon a window of class
// __wine_tray_icon owning a tooltip with that icon's one tool.
std::string CmdTray() {
  const std::vector<HWND> top = TopWindows();
  std::vector<HWND> owners;
  bool per_icon = false;
  for (HWND hwnd : top) {
    const std::wstring cls = ClassOf(hwnd);
    if (cls == L"__wine_tray_icon") {
      owners.push_back(hwnd);
      per_icon = true;
    }
    if (cls == L"Shell_TrayWnd") {
      owners.push_back(hwnd);
      for (HWND child : ChildWindows(hwnd))
        if (ClassOf(child) == L"__wine_tray_icon") {
          owners.push_back(child);
          per_icon = true;
        }
    }
  }
  std::vector<std::string> items;
  for (HWND owner : owners) {
    const bool icon_window = ClassOf(owner) == L"__wine_tray_icon";
    if (per_icon && !icon_window) continue;
    for (HWND tooltip : top) {
      if (ClassOf(tooltip) != L"tooltips_class32" || GetWindow(tooltip, GW_OWNER) != owner) continue;
      for (const Tool& tool : ToolTexts(tooltip))
        items.push_back(
            Obj()
                .Str("tip", tool.text)
                .Num("tool_hwnd", HandleNumber(tool.hwnd))
                .Num("tool_id", static_cast<long long>(tool.id))
                .Raw("tool_rect", RectJson(tool.rect))
                .Num("tooltip", HandleNumber(tooltip))
                // Wine 8 keeps the tool of a removed icon, with an empty rectangle.
                .Bool("visible", icon_window ? IsWindowVisible(owner) != FALSE : IsRectEmpty(&tool.rect) == FALSE)
                .Text());
    }
  }
  return Ok(Obj().Raw("icons", Array(items)));
}

// The shell's taskbar buttons: one owner-drawn button per top-level window,
// its control id being that window's handle; shown only for windows that
// get a taskbar button.
std::string CmdTaskbar() {
  std::vector<std::string> items;
  for (HWND hwnd : TopWindows()) {
    if (ClassOf(hwnd) != L"Shell_TrayWnd") continue;
    for (HWND child : ChildWindows(hwnd)) {
      if (lstrcmpiW(ClassOf(child).c_str(), L"Button") != 0) continue;
      const auto target = static_cast<long long>(static_cast<UINT_PTR>(GetWindowLongPtrW(child, GWLP_ID)));
      items.push_back(Obj()
                          .Num("button", HandleNumber(child))
                          .Num("window", target)
                          .Bool("visible", IsWindowVisible(child) != FALSE)
                          .Text());
    }
  }
  return Ok(Obj().Raw("buttons", Array(items)));
}

// Watches the process table from a thread of its own, so that processes
// that live only a few milliseconds (a bridge ended by the first supervision
// cycle) are still seen with their ids, parents and paths.
struct SeenProcess {
  DWORD ppid;
  std::wstring exe;
  std::wstring path;
  DWORD first_tick;
};

CRITICAL_SECTION g_watch_lock;
std::map<DWORD, SeenProcess> g_seen;
volatile LONG g_watching = 0;
HANDLE g_watch_thread = nullptr;

DWORD WINAPI WatchProcesses(LPVOID) {
  while (InterlockedCompareExchange(&g_watching, 1, 1) == 1) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap != INVALID_HANDLE_VALUE) {
      PROCESSENTRY32W entry = {};
      entry.dwSize = sizeof entry;
      for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
        // A process caught while it starts has no image name yet; later
        // snapshots fill it in.
        EnterCriticalSection(&g_watch_lock);
        auto it = g_seen.find(entry.th32ProcessID);
        const bool complete = it != g_seen.end() && !it->second.exe.empty() && !it->second.path.empty();
        LeaveCriticalSection(&g_watch_lock);
        if (complete) continue;
        const std::wstring path = ImagePath(entry.th32ProcessID);
        EnterCriticalSection(&g_watch_lock);
        SeenProcess& seen = g_seen
                                .try_emplace(entry.th32ProcessID,
                                             SeenProcess{entry.th32ParentProcessID, L"", L"", GetTickCount()})
                                .first->second;
        if (seen.exe.empty()) seen.exe = entry.szExeFile;
        if (seen.path.empty()) seen.path = path;
        LeaveCriticalSection(&g_watch_lock);
      }
      CloseHandle(snap);
    }
    Sleep(1);
  }
  return 0;
}

std::string CmdWatch(const std::string& what) {
  if (what == "on") {
    if (!g_watch_thread) {
      EnterCriticalSection(&g_watch_lock);
      g_seen.clear();
      LeaveCriticalSection(&g_watch_lock);
      InterlockedExchange(&g_watching, 1);
      g_watch_thread = CreateThread(nullptr, 0, WatchProcesses, nullptr, 0, nullptr);
    }
    return Ok();
  }
  if (what == "off") {
    InterlockedExchange(&g_watching, 0);
    if (g_watch_thread) {
      WaitForSingleObject(g_watch_thread, 5000);
      CloseHandle(g_watch_thread);
      g_watch_thread = nullptr;
    }
    return Ok();
  }
  std::vector<std::string> items;
  EnterCriticalSection(&g_watch_lock);
  for (const auto& [pid, seen] : g_seen)
    items.push_back(Obj()
                        .Num("pid", pid)
                        .Num("ppid", seen.ppid)
                        .Str("exe", seen.exe)
                        .Str("path", seen.path)
                        .Num("tick", seen.first_tick)
                        .Text());
  LeaveCriticalSection(&g_watch_lock);
  return Ok(Obj().Raw("processes", Array(items)));
}

// The number of kernel handles a process holds. Wine answers the system's
// handle table (class 16) with real per-process entries, where
// GetProcessHandleCount and GetGuiResources give 0; the entry's owner is a
// 16-bit process id, as on Windows.
std::string CmdHandles(DWORD pid) {
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return Fail("NtQuerySystemInformation not found");
  struct Entry {
    USHORT owner;
    USHORT backtrace;
    UCHAR type;
    UCHAR attributes;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
  std::vector<unsigned char> buffer(1 << 16);
  LONG status = kInfoLengthMismatch;
  for (int attempt = 0; attempt < 12 && status == kInfoLengthMismatch; ++attempt) {
    ULONG needed = 0;
    status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
  }
  if (status < 0) return Fail("NtQuerySystemInformation failed: " + std::to_string(status));
  const ULONG total = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  long long count = 0;
  for (ULONG i = 0; i < total; ++i)
    if (entries[i].owner == static_cast<USHORT>(pid & 0xFFFFu)) ++count;
  return Ok(Obj().Num("pid", pid).Num("handles", count).Num("system", total));
}

std::vector<std::string> SplitRequest(const std::string& line) {
  std::vector<std::string> words(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      words.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      words.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      words.back() += c;
    }
  }
  return words;
}

std::string Arg(const std::vector<std::string>& args, size_t i) { return i < args.size() ? args[i] : std::string(); }

std::string Handle(const std::vector<std::string>& args, bool& quit) {
  const std::string& cmd = args[0];
  if (cmd == "ping") return Ok(Obj().Num("pid", GetCurrentProcessId()));
  if (cmd == "quit") {
    quit = true;
    return Ok();
  }
  // The code pages of the session, which the monitor's log is written in.
  if (cmd == "codepages") return Ok(Obj().Num("acp", GetACP()).Num("oemcp", GetOEMCP()));
  if (cmd == "windows") return CmdWindows();
  if (cmd == "children") return CmdChildren(ParseHwnd(Arg(args, 1)));
  if (cmd == "boxes") return CmdMessageBoxes();
  if (cmd == "text") return Ok(Obj().Str("text", TextOf(ParseHwnd(Arg(args, 1)))));
  if (cmd == "settext") return CmdSetText(ParseHwnd(Arg(args, 1)), Widen(Arg(args, 2)));
  if (cmd == "focus") return CmdFocus(ParseHwnd(Arg(args, 1)));
  if (cmd == "setfocus") return CmdSetFocus(ParseHwnd(Arg(args, 1)));
  if (cmd == "foreground") {
    SetForegroundWindow(ParseHwnd(Arg(args, 1)));
    return Ok();
  }
  if (cmd == "keys") return CmdKeys(args);
  if (cmd == "type") return CmdType(Widen(Arg(args, 1)));
  if (cmd == "click") return CmdClick(ParseHwnd(Arg(args, 1)), args);
  if (cmd == "post") return CmdMessage(true, args);
  if (cmd == "send") return CmdMessage(false, args);
  if (cmd == "pixels") return CmdPixels(args);
  if (cmd == "screenshot") return CmdScreenshot(Widen(Arg(args, 1)));
  if (cmd == "processes") return CmdProcesses();
  if (cmd == "start") return CmdStart(args);
  if (cmd == "hold") return CmdHold(static_cast<DWORD>(ParseNumber(Arg(args, 1))));
  if (cmd == "wait")
    return CmdWait(static_cast<DWORD>(ParseNumber(Arg(args, 1))), static_cast<DWORD>(ParseNumber(Arg(args, 2))));
  if (cmd == "kill") {
    const std::string code = Arg(args, 2);
    return CmdKill(static_cast<DWORD>(ParseNumber(Arg(args, 1))),
                   code.empty() ? 1u : static_cast<UINT>(ParseNumber(code)));
  }
  if (cmd == "mutex") return CmdMutex(Widen(Arg(args, 1)), Arg(args, 2));
  if (cmd == "tray") return CmdTray();
  if (cmd == "watch") return CmdWatch(Arg(args, 1));
  if (cmd == "taskbar") return CmdTaskbar();
  if (cmd == "handles") return CmdHandles(static_cast<DWORD>(ParseNumber(Arg(args, 1))));
  return Fail("unknown command " + cmd);
}

bool SendAll(SOCKET s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Serves one connection; returns true when asked to quit.
bool Serve(SOCKET client) {
  std::string pending;
  char buf[4096];
  for (;;) {
    const int n = recv(client, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      Log("> " + line);
      bool quit = false;
      const std::string answer = Handle(SplitRequest(line), quit);
      Log("< " + answer.substr(0, 400));
      if (!SendAll(client, answer + "\n")) return false;
      if (quit) return true;
    }
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  if (__argc > 2) g_log = std::fopen(__argv[2], "a");
  const int port = std::atoi(__argv[1]);

  InitCommonControls();
  InitializeCriticalSection(&g_watch_lock);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
  SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (server == INVALID_SOCKET) return 4;
  BOOL reuse = TRUE;
  setsockopt(server, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Log("bind failed " + std::to_string(WSAGetLastError()));
    return 5;
  }
  listen(server, 4);
  Log("listening on " + std::to_string(port));
  for (;;) {
    SOCKET client = accept(server, nullptr, nullptr);
    if (client == INVALID_SOCKET) break;
    const bool quit = Serve(client);
    closesocket(client);
    if (quit) break;
  }
  CmdWatch("off");
  for (auto& held : g_held) CloseHandle(held.second);
  for (auto& mutex : g_mutexes) CloseHandle(mutex.second);
  closesocket(server);
  WSACleanup();
  return 0;
}
