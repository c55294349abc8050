// The environment check: describes the machine in the log once at start-up
// and records what the clocks and renderers need (processor extensions, the
// time-stamp counter's rate).
#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "platform/win32/win32.h"

EngineState g_engine;
EnvironmentInfo g_environment;

namespace {

constexpr const char* kEngineVersion = "1.00";

struct OsClass {
  const char* name;
  int version;
};

OsClass ClassifyOs(const OSVERSIONINFOA& v) {
  if (v.dwPlatformId == VER_PLATFORM_WIN32s) return {"3.1", 0};
  if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (v.dwMinorVersion >= 90) return {"Me", 3};
    if (v.dwMinorVersion >= 10) return {"98", 2};
    return {"95", 1};
  }
  if (v.dwMajorVersion <= 3) return {"NT 3.51", 0x104};
  if (v.dwMajorVersion == 4) return {"NT 4.0", 0x105};
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) return {"2000", 0x106};
  if (v.dwMajorVersion == 5) return {"XP", 0x107};
  return {"Vista", 0x108};
}

}  // namespace

void ApplyProcessorFeatures(uint32_t features) {
  // Each extension counts only when the one before it is present.
  int mmx = (features >> 23) & 1;
  int sse = mmx && ((features >> 25) & 1);
  int sse2 = sse && ((features >> 26) & 1);
  g_environment.mmx = mmx;
  g_environment.sse = sse;
  g_environment.sse2 = sse2;
  if (!mmx) {
    WriteLogText("ＭＭＸは使えません\n");
    return;
  }
  WriteLogText("ＭＭＸ命令を使用します\n");
  if (sse) WriteLogText("ＳＳＥ命令が使用可能です\n");
  if (sse2) WriteLogText("ＳＳＥ２命令が使用可能です\n");
}

int ProcessorHasAvx2() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  const bool osxsave = (c >> 27) & 1, avx = (c >> 28) & 1;
  if (!osxsave || !avx) return 0;
  unsigned xcr0_low, xcr0_high;
  __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 6) != 6) return 0;  // the vector registers' state
  if (__get_cpuid_max(0, nullptr) < 7) return 0;
  __cpuid_count(7, 0, a, b, c, d);
  return (int)((b >> 5) & 1);
}

int CheckEnvironment() {
  WriteLogText("システムの情報を出力します\n");
  IndentLog();
  WriteLogFormat("ＱＶライブラリ Ver%s", kEngineVersion);

  // Operating system.
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(&v);
  OsClass os = ClassifyOs(v);
  char name[64];
  FormatString(name, sizeof name, "Windows%s", os.name);
  if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    char letter = v.szCSDVersion[1];
    if (os.version == 1 && (letter == 'C' || letter == 'B')) AppendString(name, " OSR2");
    if (os.version == 2 && letter == 'A') AppendString(name, " SE");
  }
  g_environment.os_version = os.version;
  WriteLogText("ＯＳ  ");
  WriteLogFormat("%s ( Build %d %s )", name, (int)(v.dwBuildNumber & 0xFFFF), v.szCSDVersion);

  g_environment.directx_version = 0x70000;

  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) {
    g_environment.timer_period = caps.wPeriodMin;
    timeBeginPeriod(caps.wPeriodMin);
  }

  // Processor: x86-64 always has CPUID.
  unsigned a = 0, b = 0, c = 0, d = 0;
  char vendor[13] = {};
  char brand[49] = {};
  __get_cpuid(0, &a, &b, &c, &d);
  std::memcpy(vendor + 0, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  unsigned max_ext = __get_cpuid_max(0x80000000u, nullptr);
  if (max_ext >= 0x80000004u) {
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
      unsigned r[4];
      __get_cpuid(0x80000002u + leaf, &r[0], &r[1], &r[2], &r[3]);
      std::memcpy(brand + leaf * 16, r, 16);
    }
  }
  __get_cpuid(1, &a, &b, &c, &d);
  g_environment.tsc_usable = (d >> 4) & 1;

  if (g_environment.tsc_usable) {
    uint64_t t0 = __rdtsc();
    int start = GetMillisecondCount();
    while (GetMillisecondCount() - start < 100) {
    }
    uint64_t diff = __rdtsc() - t0;
    g_environment.cpu_clock = (int64_t)diff * 10;
    g_environment.cpu_mhz = (int)(diff / 100000);
    WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", (double)g_environment.cpu_clock / 1e9);
  }

  ApplyProcessorFeatures(d);
  g_environment.avx2 = ProcessorHasAvx2();
  WriteLogText("ＣＰＵベンダ：");
  WriteLogFormat("%s", vendor);
  if (brand[0]) WriteLogFormat("ＣＰＵ名：%s", brand);

  UnindentLog();
  return 0;
}
