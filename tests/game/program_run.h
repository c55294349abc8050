// The real program run by a test: in a run folder of its own under SDL's
// offscreen video driver, with extra environment (the program's test hook
// reads its script from there), never left running past a time limit; and
// the screenshots it writes, read back.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The drawing path a run of the program takes, by VOX_HARDWARE: the software
// renderer, or the Direct3D device (on Mesa's OpenGL too), for tests that
// run once on each; `name` names the instance and its screenshot folder.
struct DrawingPath {
  const char* hardware;
  const char* name;
};
inline constexpr DrawingPath kDrawingPaths[] = {{"0", "software"}, {"1", "device"}};
inline std::string DrawingPathName(const ::testing::TestParamInfo<DrawingPath>& info) { return info.param.name; }
inline void PrintTo(const DrawingPath& path, std::ostream* out) { *out << path.name; }

struct Outcome {
  int exit_code = -1;
  std::string err;
};

// Starts the program in a folder with extra environment, its standard error
// going to stderr.txt there; the process id.
inline pid_t StartProgram(const std::string& program, const std::string& folder,
                          const std::vector<std::string>& env) {
  const std::string err_path = folder + "/stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    FILE* err = freopen(err_path.c_str(), "w", stderr);
    (void)err;
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    execl(program.c_str(), program.c_str(), (char*)nullptr);
    _exit(127);
  }
  return pid;
}

inline int64_t MonotonicMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// When a program started now counts as hung: far beyond what a script takes
// on a loaded machine (a script that loses its way ends at its own frame
// limit), and inside the test runner's limit, so a hang fails the test with
// the program's output instead of stalling it.
inline int64_t ProgramDeadline() { return MonotonicMs() + 480 * 1000; }

// Whether a started program has ended; it is left for WaitProgram to collect.
inline bool ProgramEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, (id_t)pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// Waits for a started program; killed when it has not ended by the deadline
// (a hang fails the test, it never stalls it).
inline Outcome WaitProgram(pid_t pid, const std::string& folder, int64_t deadline = ProgramDeadline()) {
  Outcome out;
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      out.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (MonotonicMs() > deadline) break;
    usleep(100 * 1000);
  }
  if (out.exit_code < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::ifstream in(folder + "/stderr.txt");
  std::stringstream s;
  s << in.rdbuf();
  out.err = s.str();
  return out;
}

inline Outcome RunProgram(const std::string& program, const std::string& folder, const std::vector<std::string>& env) {
  return WaitProgram(StartProgram(program, folder, env), folder);
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

inline bool ReadPng(const std::string& path, Picture* p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  p->width = (int)image.width;
  p->height = (int)image.height;
  p->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr) != 0;
}

// Distinct colours in a rectangle: a drawn picture has many, an empty
// screen one.
inline size_t Colours(const Picture& p, int x0, int y0, int x1, int y1) {
  std::set<uint32_t> seen;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* c = &p.rgb[((size_t)y * p.width + x) * 3];
      seen.insert((uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2]);
    }
  return seen.size();
}
