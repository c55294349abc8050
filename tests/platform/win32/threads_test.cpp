#include <atomic>
#include <set>
#include <vector>

#include "platform/win32/win32.h"
#include <gtest/gtest.h>

namespace {

TEST(Win32Events, ManualResetStaysSignalled) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_FALSE(SetEvent(e));
}

TEST(Win32Events, TimedWaitWaitsItsTime) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD start = timeGetTime();
  EXPECT_EQ(WaitForSingleObject(e, 60), WAIT_TIMEOUT);
  EXPECT_GE(timeGetTime() - start, 59u);
  CloseHandle(e);
}

struct Waiters {
  HANDLE event;
  std::atomic<int> woken{0};
};

DWORD WaitOnce(LPVOID p) {
  auto* w = static_cast<Waiters*>(p);
  // Long enough for any machine: a waiter that gives up early would look
  // like one the second signal never reached.
  if (WaitForSingleObject(w->event, 60000) == WAIT_OBJECT_0) ++w->woken;
  return 0;
}

TEST(Win32Events, AutoResetReleasesOneWaiterPerSignal) {
  Waiters w;
  w.event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(w.event, 0), WAIT_OBJECT_0);  // initially set, then reset by the wait
  EXPECT_EQ(WaitForSingleObject(w.event, 0), WAIT_TIMEOUT);
  HANDLE a = CreateThread(nullptr, 0, WaitOnce, &w, 0, nullptr);
  HANDLE b = CreateThread(nullptr, 0, WaitOnce, &w, 0, nullptr);
  SetEvent(w.event);
  while (w.woken.load() == 0) Sleep(1);
  Sleep(50);
  EXPECT_EQ(w.woken.load(), 1);  // the other is still waiting
  SetEvent(w.event);
  EXPECT_EQ(WaitForSingleObject(a, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(b, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(w.woken.load(), 2);
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(w.event);
}

struct Gate {
  HANDLE go;
  DWORD id_seen;
};

DWORD WaitForGate(LPVOID p) {
  auto* g = static_cast<Gate*>(p);
  g->id_seen = GetCurrentThreadId();
  WaitForSingleObject(g->go, INFINITE);
  return 42;
}

TEST(Win32Threads, ExitCodeIsStillActiveUntilTheThreadEnds) {
  Gate g{CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 64 * 1024, WaitForGate, &g, 0, &id);
  ASSERT_NE(t, nullptr);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  SetEvent(g.go);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(g.id_seen, id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_FALSE(GetExitCodeThread(t, &code));
  CloseHandle(g.go);
}

TEST(Win32Threads, ClosingTheHandleLeavesTheThreadRunning) {
  Gate g{CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  struct Args {
    Gate* gate;
    HANDLE done;
  } args{&g, done};
  HANDLE t = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* a = static_cast<Args*>(p);
        WaitForSingleObject(a->gate->go, INFINITE);
        SetEvent(a->done);
        return 0;
      },
      &args, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(CloseHandle(t));
  SetEvent(g.go);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  CloseHandle(done);
  CloseHandle(g.go);
}

// A thread seen to have ended by a wait or by its exit code has also run its
// own teardown (its thread-local objects), as a program that waits for its
// threads and then exits relies on.
std::atomic<int> teardowns{0};
struct SlowTeardown {
  ~SlowTeardown() {
    Sleep(50);
    teardowns.fetch_add(1);
  }
};

DWORD EndWithSlowTeardown(LPVOID) {
  thread_local SlowTeardown slow;
  (void)&slow;
  return 7;
}

TEST(Win32Threads, AThreadSeenEndedHasFinishedItsTeardown) {
  for (bool by_wait : {true, false}) {
    const int before = teardowns.load();
    HANDLE t = CreateThread(nullptr, 0, EndWithSlowTeardown, nullptr, 0, nullptr);
    ASSERT_NE(t, nullptr);
    DWORD code = STILL_ACTIVE;
    if (by_wait) {
      ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
      ASSERT_TRUE(GetExitCodeThread(t, &code));
    } else {
      while (GetExitCodeThread(t, &code) && code == STILL_ACTIVE) Sleep(0);
    }
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(teardowns.load(), before + 1) << (by_wait ? "wait" : "exit code");
    // Seen again, the thread is still ended; closing the handle is clean.
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(t));
  }
}

struct Counter {
  CRITICAL_SECTION cs;
  long value = 0;
};

DWORD CountUp(LPVOID p) {
  auto* c = static_cast<Counter*>(p);
  for (int i = 0; i < 20000; ++i) {
    EnterCriticalSection(&c->cs);
    EnterCriticalSection(&c->cs);  // recursive entry by the owner
    long v = c->value;
    c->value = v + 1;
    LeaveCriticalSection(&c->cs);
    LeaveCriticalSection(&c->cs);
  }
  return 0;
}

TEST(Win32CriticalSection, RecursiveAndExclusive) {
  Counter c;
  InitializeCriticalSection(&c.cs);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 4; ++i) threads.push_back(CreateThread(nullptr, 0, CountUp, &c, 0, nullptr));
  for (HANDLE t : threads) {
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    CloseHandle(t);
  }
  EXPECT_EQ(c.value, 80000);
  DeleteCriticalSection(&c.cs);
}

TEST(Win32Handles, KindsAreNotConfused) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD code;
  EXPECT_FALSE(GetExitCodeThread(e, &code));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindClose(e));
  DWORD n;
  EXPECT_FALSE(ReadFile(e, &code, 4, &n, nullptr));
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

}  // namespace
