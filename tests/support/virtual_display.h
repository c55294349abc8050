// A virtual X display for a test: an X server without a window manager
// (Xvfb), on a display number it picks itself and tells back through a pipe,
// ended with the object.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  ~VirtualDisplay() { stop(); }

  // Starts the server with one screen of that size at 24 bits; false when
  // it cannot be started (not installed) or does not answer within 20 s.
  bool start(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             (char*)nullptr);
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      return false;
    }
    server_ = pid;
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      stop();
      return false;
    }
    name_ = ":" + number;
    return true;
  }
  void stop() {
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
    }
    server_ = -1;
    name_.clear();
  }
  // ":N", for DISPLAY; empty while none runs.
  const std::string& name() const { return name_; }

 private:
  pid_t server_ = -1;
  std::string name_;
};
