// The clipboard, text only (CF_TEXT): code page 932 with CRLF line ends on
// this side, UTF-8 with LF line ends on SDL's.
#include <cstring>

#include "platform/win32/window_internal.h"

namespace {

bool g_open = false;
DWORD g_owner_thread = 0;
HGLOBAL g_read_block = nullptr;  // the text GetClipboardData handed out last

HGLOBAL CopyToGlobal(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!block) return nullptr;
  char* p = static_cast<char*>(GlobalLock(block));
  memcpy(p, text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  return block;
}

bool OpenedHere() { return g_open && g_owner_thread == GetCurrentThreadId(); }

}  // namespace

using namespace vox_win32;

BOOL OpenClipboard(HWND) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (g_open && g_owner_thread != GetCurrentThreadId()) return FALSE;
  if (!EnsureVideo()) return FALSE;
  g_open = true;
  g_owner_thread = GetCurrentThreadId();
  return TRUE;
}

BOOL CloseClipboard() {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (!OpenedHere()) return FALSE;
  if (g_read_block) GlobalFree(g_read_block);
  g_read_block = nullptr;
  g_open = false;
  g_owner_thread = 0;
  return TRUE;
}

BOOL EmptyClipboard() {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (!OpenedHere()) return FALSE;
  SDL_SetClipboardText("");
  return TRUE;
}

HANDLE GetClipboardData(UINT format) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (!OpenedHere() || format != CF_TEXT || !SDL_HasClipboardText()) return nullptr;
  char* utf8 = SDL_GetClipboardText();
  std::string text = ToCp932Lossy(utf8);
  SDL_free(utf8);
  std::string crlf;
  crlf.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
    crlf += text[i];
  }
  if (g_read_block) GlobalFree(g_read_block);
  g_read_block = CopyToGlobal(crlf);
  return g_read_block;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (!OpenedHere() || format != CF_TEXT || !data) return nullptr;
  const char* p = static_cast<const char*>(GlobalLock(data));
  if (!p) return nullptr;
  size_t size = GlobalSize(data);
  std::string text(p, strnlen(p, size));
  GlobalUnlock(data);
  std::string lf;
  lf.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
  if (SDL_SetClipboardText(ToUtf8(lf.c_str()).c_str()) != 0) return nullptr;
  GlobalFree(data);  // the clipboard owns the block now; its text lives on in SDL
  return data;
}
