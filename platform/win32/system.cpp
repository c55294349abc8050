// System information and process services: version, code page, debugger
// output and process exit.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/cp932.h"
#include "platform/win32/win32.h"

// Linux reports itself as a member of the NT family, the line of systems it
// stands in for (version 6.0); the service-pack text names the real kernel.
BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 6000;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  utsname u;
  std::string text = uname(&u) == 0 ? std::string(u.sysname) + " " + u.release : "Linux";
  snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", text.c_str());
  return TRUE;
}

UINT GetOEMCP() { return 932; }

void OutputDebugStringA(LPCSTR text) {
  if (!text || !getenv("VOX_DEBUG_OUTPUT")) return;
  std::string utf8;
  if (!vox_win32::Cp932ToUtf8(text, &utf8)) utf8 = text;  // show the bytes rather than nothing
  fwrite(utf8.data(), 1, utf8.size(), stderr);
  fflush(stderr);
}

// Ends the process at once with every thread, as the platform does; open
// stdio streams are flushed first. Static destructors do not run, since
// other threads may still be using what they would destroy.
void ExitProcess(UINT code) {
  fflush(nullptr);
  _exit((int)code);
}
