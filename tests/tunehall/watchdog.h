// Turns a hang into a failure: a watchdog that is not destroyed within its
// limit prints the step it was at and ends the test program, so the test
// fails instead of stalling the suite (ctest runs each test in a program of
// its own). A call stuck for good cannot be recovered in the same process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  // The limit is far beyond what the guarded steps take on a loaded machine
  // (and beyond the tests' own waits for a sound, of up to a minute).
  explicit Watchdog(std::string what, std::chrono::seconds limit = std::chrono::seconds(120))
      : what_(std::move(what)), thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "%s: hung in %s (%lld s)\n", what_.c_str(), step_.load(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(124);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }
  // Names the step about to run (a string literal: it is kept by address).
  void Step(const char* name) { step_.store(name); }

 private:
  std::string what_;
  std::atomic<const char*> step_{"the start"};
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;  // last: it starts once the members above exist
};
