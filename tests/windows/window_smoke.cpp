// Drives the packaged Dravenkit.exe under Wine the way an operator would,
// with the keyboard: starts it, presses "Discovery" (the button that has the
// focus when the window opens), saves a picture of the screen, then exports
// the list through the "Dravenkit" menu's "Export list..." into a CSV file
// that the calling script checks against the simulated segment.
//
//   window_smoke.exe PROGRAM CSV BMP LOG
//
// Every wait is bounded; the program is closed at the end (ended if it does
// not close). The steps go to LOG, which ends with "status 0" when every
// step was carried out (the exit status does not always reach the caller
// through Wine's desktop process).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

FILE* g_log = stderr;

void Log(const char* what) {
  std::fprintf(g_log, "window_smoke: %s\n", what);
  std::fflush(g_log);
}

struct Find {
  DWORD pid;
  const wchar_t* title_prefix;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND w, LPARAM arg) {
  auto* f = reinterpret_cast<Find*>(arg);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != f->pid || !IsWindowVisible(w)) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(w, title, 255);
  if (std::wcsncmp(title, f->title_prefix, std::wcslen(f->title_prefix)) != 0) return TRUE;
  f->found = w;
  return FALSE;
}

// A visible top-level window of the process whose title starts with prefix.
HWND WaitForWindow(DWORD pid, const wchar_t* prefix, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (GetTickCount64() < end) {
    Find f{pid, prefix, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&f));
    if (f.found) return f.found;
    Sleep(100);
  }
  return nullptr;
}

void Key(WORD vk, bool up) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
  Sleep(60);
}

void Press(WORD vk) {
  Key(vk, false);
  Key(vk, true);
}

bool Activate(HWND w) {
  for (int i = 0; i < 50; ++i) {
    SetForegroundWindow(w);
    if (GetForegroundWindow() == w) return true;
    Sleep(100);
  }
  return false;
}

// The whole screen as 24-bit bottom-up rows; empty when it cannot be read.
std::vector<unsigned char> GrabScreen(BITMAPINFOHEADER* header) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  if (w <= 0 || h <= 0) return {};
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER bi = {};
  bi.biSize = sizeof bi;
  bi.biWidth = w;
  bi.biHeight = h;
  bi.biPlanes = 1;
  bi.biBitCount = 24;
  bi.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(h));
  const int lines = GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi),
                              DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (lines != h) return {};
  *header = bi;
  return pixels;
}

// Waits until two grabs min_ms apart are alike (the window has drawn what it
// had to draw), at most max_ms; false when the screen never settled.
bool WaitForStillScreen(DWORD min_ms, DWORD max_ms) {
  const ULONGLONG end = GetTickCount64() + max_ms;
  BITMAPINFOHEADER bi;
  std::vector<unsigned char> before = GrabScreen(&bi);
  while (GetTickCount64() < end) {
    Sleep(min_ms);
    std::vector<unsigned char> now = GrabScreen(&bi);
    if (!now.empty() && now == before) return true;
    before.swap(now);
  }
  return false;
}

bool SaveScreen(const char* path) {
  BITMAPINFOHEADER bi;
  const std::vector<unsigned char> pixels = GrabScreen(&bi);
  if (pixels.empty()) return false;
  BITMAPFILEHEADER fh = {};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi;
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi, sizeof bi, 1, f) == 1 &&
            std::fwrite(pixels.data(), pixels.size(), 1, f) == 1;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

BOOL CALLBACK FirstEdit(HWND w, LPARAM arg) {
  wchar_t cls[32] = {};
  GetClassNameW(w, cls, 31);
  if (_wcsicmp(cls, L"Edit") != 0 || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(arg) = w;
  return FALSE;
}

// Types path into the save dialog's file name box and presses its Save button.
bool AnswerSaveDialog(HWND dlg, const std::wstring& path) {
  HWND name = GetDlgItem(dlg, 1148);  // cmb13: the file name box of the common dialogs
  HWND edit = nullptr;
  if (name) EnumChildWindows(name, FirstEdit, reinterpret_cast<LPARAM>(&edit));
  if (!edit) EnumChildWindows(dlg, FirstEdit, reinterpret_cast<LPARAM>(&edit));
  if (!edit && name) edit = name;
  if (!edit) return false;
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  Sleep(200);
  HWND save = GetDlgItem(dlg, IDOK);
  if (save)
    SendMessageW(save, BM_CLICK, 0, 0);
  else
    PostMessageW(dlg, WM_COMMAND, IDOK, 0);
  return true;
}

bool WaitForFile(const std::wstring& path, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (GetTickCount64() < end) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a) && (a.nFileSizeLow > 0 || a.nFileSizeHigh > 0))
      return true;
    Sleep(100);
  }
  return false;
}

std::wstring Wide(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  w.resize(std::wcslen(w.c_str()));
  return w;
}

std::wstring FullPath(const std::wstring& p) {
  wchar_t buf[4096];
  const DWORD n = GetFullPathNameW(p.c_str(), 4096, buf, nullptr);
  return n > 0 && n < 4096 ? std::wstring(buf, n) : p;
}

int Drive(const PROCESS_INFORMATION& pi, const std::wstring& csv, const char* bmp) {
  HWND main = WaitForWindow(pi.dwProcessId, L"Dravenkit ver. ", 60000);
  if (!main) return Log("the window did not open within 60 s"), 1;
  Log("the window is open");
  if (!Activate(main)) return Log("the window could not be made the active one"), 1;
  if (!WaitForStillScreen(1000, 30000)) Log("the screen kept changing before Discovery (went on after 30 s)");
  // The focus starts on "Discovery", the first button.
  Press(VK_SPACE);
  Log("Discovery pressed");
  // The scan listens for half a second; the list fills as the replies come.
  if (!WaitForStillScreen(1500, 30000)) Log("the screen kept changing after Discovery (went on after 30 s)");
  if (!SaveScreen(bmp)) return Log("the screen could not be saved"), 1;
  Log("screen saved");
  // Alt enters the menu bar, Down opens "Dravenkit" on its first entry, "Export list...".
  Press(VK_MENU);
  Press(VK_DOWN);
  Press(VK_RETURN);
  HWND dlg = WaitForWindow(pi.dwProcessId, L"Export list", 20000);
  if (!dlg) return Log("the export dialog did not open within 20 s"), 1;
  if (!AnswerSaveDialog(dlg, csv)) return Log("the export dialog has no file name box"), 1;
  if (!WaitForFile(csv, 20000)) return Log("the exported list did not appear within 20 s"), 1;
  Log("list exported");
  return 0;
}

int Run(char** argv);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: window_smoke PROGRAM CSV BMP LOG\n");
    return 2;
  }
  g_log = std::fopen(argv[4], "w");
  if (!g_log) return 2;
  const int rc = Run(argv);
  std::fprintf(g_log, "status %d\n", rc);
  std::fclose(g_log);
  return rc;
}

namespace {

int Run(char** argv) {
  const std::wstring program = FullPath(Wide(argv[1]));
  const std::wstring csv = FullPath(Wide(argv[2]));
  // The program's own folder is its working folder, as when started from Explorer.
  std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
  std::wstring cmd = L"\"" + program + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi))
    return Log("the program could not be started"), 1;
  const int rc = Drive(pi, csv, argv[3]);
  // Closed as the operator closes it; ended only if it does not close.
  HWND main = WaitForWindow(pi.dwProcessId, L"Dravenkit ver. ", 1000);
  if (main) PostMessageW(main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) {
    Log("the program did not end within 15 s of closing its window");
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    return 1;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return rc;
}

}  // namespace
