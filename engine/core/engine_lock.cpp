// FIFO recursive lock: each arriving thread draws a ticket and waits until
// the lock is free and its ticket is the next one served; the owner re-enters
// without a ticket.
#include "engine/core/engine_lock.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

struct EngineLock {
  std::mutex guard;
  std::condition_variable turn;
  bool locked = false;
  std::thread::id owner;
  int recursion = 0;
  uint64_t next_ticket = 0;
  uint64_t serving = 0;
  int waiters = 0;
};

EngineLock& Lock() {
  static EngineLock lock;  // built on first use, thread-safely; never destroyed early
  return lock;
}

}  // namespace

void EnterEngineLock() {
  EngineLock& l = Lock();
  std::unique_lock<std::mutex> hold(l.guard);
  std::thread::id self = std::this_thread::get_id();
  if (l.locked && l.owner == self) {
    l.recursion++;
    return;
  }
  uint64_t ticket = l.next_ticket++;
  l.waiters++;
  l.turn.wait(hold, [&] { return !l.locked && l.serving == ticket; });
  l.waiters--;
  l.serving++;
  l.locked = true;
  l.owner = self;
  l.recursion = 1;
}

void LeaveEngineLock() {
  EngineLock& l = Lock();
  std::unique_lock<std::mutex> hold(l.guard);
  if (!l.locked || l.owner != std::this_thread::get_id()) return;
  if (--l.recursion > 0) return;
  l.locked = false;
  l.owner = std::thread::id();
  hold.unlock();
  l.turn.notify_all();
}

int EngineLockDepth() {
  EngineLock& l = Lock();
  std::lock_guard<std::mutex> hold(l.guard);
  return l.locked && l.owner == std::this_thread::get_id() ? l.recursion : 0;
}

int EngineLockWaiters() {
  EngineLock& l = Lock();
  std::lock_guard<std::mutex> hold(l.guard);
  return l.waiters;
}
