// The engine log. Every text is appended to "Log.txt" in the start folder
// and mirrored to the debugger output; every line starts with the
// milliseconds since the log was started and one TAB per indent level.
#include "engine/core/log.h"

#include <cstdarg>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/util.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kLogName = "Log.txt";
constexpr size_t kFormatBuffer = 1024;

void (*g_abort_shutdown)() = nullptr;
void (*g_abort_exit)(int) = nullptr;

void LogPath(char* out, size_t size) {
  const char* dir = g_engine.start_directory;
  size_t n = std::strlen(dir);
  bool has_sep = n > 0 && (dir[n - 1] == '\\' || dir[n - 1] == '/');
  FormatString(out, size, "%s%s%s", dir, has_sep ? "" : "\\", kLogName);
}

// LF becomes CR LF; an LF already preceded by CR ends the conversion and the
// rest is copied as it stands. Two-byte characters are never split.
char* ConvertLineEnds(const char* text, size_t* out_len) {
  size_t len = std::strlen(text);
  char* out = static_cast<char*>(HeapAllocRaw((uint32_t)(len * 2 + 1)));
  if (!out) return nullptr;
  size_t o = 0;
  const char* p = text;
  for (;;) {
    const char* lf = FindCharMb(p, '\n');
    if (!lf) break;
    if (lf > text && lf[-1] == '\r') break;
    std::memcpy(out + o, p, (size_t)(lf - p));
    o += (size_t)(lf - p);
    out[o++] = '\r';
    out[o++] = '\n';
    p = lf + 1;
  }
  size_t rest = std::strlen(p);
  std::memcpy(out + o, p, rest);
  o += rest;
  out[o] = 0;
  *out_len = o;
  return out;
}

void Write(HANDLE file, const char* bytes, size_t n) {
  DWORD written = 0;
  if (n) WriteFile(file, bytes, (DWORD)n, &written, nullptr);
}

}  // namespace

int SetLogOutput(int on) {
  g_engine.log_off = on == 0;
  return 0;
}

int StartLogFile() {
  if (g_engine.log_off) return 1;
  char path[300];
  LogPath(path, sizeof path);
  DeleteFileA(path);
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  g_engine.log_indent = 0;
  g_engine.log_mid_line = 0;
  g_engine.log_epoch = timeGetTime();
  return 1;
}

int EndLogFile() { return 0; }

int WriteLogText(const char* text) {
  if (!text || g_engine.log_off || g_engine.start_directory[0] == 0) return -1;
  size_t len = 0;
  char* converted = ConvertLineEnds(text, &len);
  if (!converted) return -1;
  char path[300];
  LogPath(path, sizeof path);
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    HeapFreeRaw(converted);
    return -1;
  }
  SetFilePointer(f, 0, nullptr, FILE_END);

  char tabs[64];
  int indent = g_engine.log_indent < 63 ? g_engine.log_indent : 63;
  std::memset(tabs, '\t', (size_t)indent);
  tabs[indent] = 0;

  // Each line gets its own stamp; a text that does not end with LF leaves the
  // line open for the next text.
  const char* p = converted;
  const char* end = converted + len;
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
    const char* line_end = lf ? lf + 1 : end;
    if (!g_engine.log_mid_line) {
      char stamp[16];
      int n = FormatString(stamp, sizeof stamp, "%d:", (int)(timeGetTime() - g_engine.log_epoch));
      Write(f, stamp, (size_t)n);
      if (indent > 0) {
        Write(f, tabs, (size_t)indent);
        OutputDebugStringA(tabs);
      }
    }
    Write(f, p, (size_t)(line_end - p));
    g_engine.log_mid_line = line_end[-1] != '\n';
    p = line_end;
  }
  OutputDebugStringA(converted);
  CloseHandle(f);
  HeapFreeRaw(converted);
  return -1;
}

int WriteLogFormat(const char* format, ...) {
  char buffer[kFormatBuffer];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof buffer - 1, format, args);
  va_end(args);
  AppendString(buffer, "\n");
  return WriteLogText(buffer);
}

int IndentLog() {
  g_engine.log_indent++;
  return 0;
}

int UnindentLog() {
  if (g_engine.log_indent > 0) g_engine.log_indent--;
  return 0;
}

int GetLogIndent() { return g_engine.log_indent; }

void SetLogAbortHooks(void (*shutdown)(), void (*exit_process)(int)) {
  g_abort_shutdown = shutdown;
  g_abort_exit = exit_process;
}

void AbortWithLog(const char* text) {
  WriteLogText(text);
  WriteLogText("\n");
  if (g_abort_shutdown) g_abort_shutdown();
  if (g_abort_exit) g_abort_exit(-1);
  ExitProcess((UINT)-1);
}

void AbortWithLogFormat(const char* format, ...) {
  char buffer[kFormatBuffer];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof buffer, format, args);
  va_end(args);
  AbortWithLog(buffer);
}
