// Threads, events, waits, critical sections and Sleep over pthreads and the
// C++ synchronisation types.
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <limits.h>
#include <mutex>

#include "platform/win32/kernel_object.h"
#include "platform/win32/win32.h"

namespace vox_win32 {
namespace {

// An object a thread can wait for: its state is guarded by `lock` and
// waiters are woken through `changed`.
struct Waitable : KernelObject {
  using KernelObject::KernelObject;
  virtual bool Signalled() const = 0;  // called with `lock` held
  virtual void Acquired() {}           // a wait succeeded (auto-reset events reset)
  std::mutex lock;
  std::condition_variable changed;
};

struct Event : Waitable {
  Event(bool manual, bool initial) : Waitable(ObjectKind::kEvent), manual_reset(manual), signalled(initial) {}
  bool Signalled() const override { return signalled; }
  void Acquired() override {
    if (!manual_reset) signalled = false;
  }
  const bool manual_reset;
  bool signalled;
};

// A thread is signalled once its routine has returned, but its pthread still
// has its own teardown to run (thread-local destructors, its stack). The
// first wait or exit-code query that sees it finished joins it, so that, as
// on the platform, a thread seen to have ended is gone: a program that waits
// for its threads and then exits leaves none of them half way out.
struct Thread : Waitable {
  Thread() : Waitable(ObjectKind::kThread) {}
  ~Thread() override {
    if (joinable) pthread_detach(native);  // never waited for: it ends alone
  }
  bool Signalled() const override { return finished; }
  void Acquired() override { Reap(); }
  // Called with `lock` held.
  void Reap() {
    if (!finished || !joinable || pthread_equal(native, pthread_self())) return;
    pthread_join(native, nullptr);
    joinable = false;
  }
  bool finished = false;
  DWORD exit_code = STILL_ACTIVE;
  DWORD id = 0;
  pthread_t native{};
  bool joinable = false;  // started and neither joined nor detached
};

std::atomic<DWORD> next_thread_id{1};
thread_local DWORD current_thread_id = 0;

struct StartBlock {
  std::shared_ptr<Thread> thread;
  LPTHREAD_START_ROUTINE start;
  LPVOID arg;
};

void* ThreadMain(void* p) {
  StartBlock* block = static_cast<StartBlock*>(p);
  std::shared_ptr<Thread> thread = std::move(block->thread);
  LPTHREAD_START_ROUTINE start = block->start;
  LPVOID arg = block->arg;
  delete block;
  current_thread_id = thread->id;
  DWORD code = start(arg);
  {
    std::lock_guard<std::mutex> g(thread->lock);
    thread->exit_code = code;
    thread->finished = true;
  }
  thread->changed.notify_all();
  return nullptr;
}

std::shared_ptr<Event> LookupEvent(HANDLE h) { return LookupAs<Event>(h, ObjectKind::kEvent); }

}  // namespace
}  // namespace vox_win32

using namespace vox_win32;

HANDLE CreateThread(void*, size_t stack, LPTHREAD_START_ROUTINE start, LPVOID arg, DWORD,
                    DWORD* thread_id) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  thread->id = next_thread_id.fetch_add(1);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack > 0) {
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    size_t size = (stack + page - 1) / page * page;
    pthread_attr_setstacksize(&attr, size < (size_t)PTHREAD_STACK_MIN ? (size_t)PTHREAD_STACK_MIN : size);
  }
  auto* block = new StartBlock{thread, start, arg};
  HANDLE h = RegisterObject(thread);
  std::unique_lock<std::mutex> g(thread->lock);  // the handle is unknown to others until now
  int r = pthread_create(&thread->native, &attr, ThreadMain, block);
  pthread_attr_destroy(&attr);
  if (r != 0) {
    g.unlock();
    delete block;
    UnregisterObject(h, KindBit(ObjectKind::kThread));
    SetLastError(r == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ErrorFromErrno(r));
    return nullptr;
  }
  thread->joinable = true;
  g.unlock();
  if (thread_id) *thread_id = thread->id;
  return h;
}

BOOL GetExitCodeThread(HANDLE h, DWORD* code) {
  std::shared_ptr<Thread> t = LookupAs<Thread>(h, ObjectKind::kThread);
  if (!t || !code) {
    if (t) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(t->lock);
  t->Reap();
  *code = t->exit_code;
  return TRUE;
}

DWORD GetCurrentThreadId() {
  if (current_thread_id == 0) current_thread_id = next_thread_id.fetch_add(1);
  return current_thread_id;
}

HANDLE CreateEventA(void*, BOOL manual_reset, BOOL initial_state, LPCSTR) {
  return RegisterObject(std::make_shared<Event>(manual_reset != 0, initial_state != 0));
}

BOOL SetEvent(HANDLE h) {
  std::shared_ptr<Event> e = LookupEvent(h);
  if (!e) return FALSE;
  {
    std::lock_guard<std::mutex> g(e->lock);
    e->signalled = true;
  }
  e->changed.notify_all();
  return TRUE;
}

BOOL ResetEvent(HANDLE h) {
  std::shared_ptr<Event> e = LookupEvent(h);
  if (!e) return FALSE;
  std::lock_guard<std::mutex> g(e->lock);
  e->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  std::shared_ptr<KernelObject> o = LookupObject(h);
  if (!o) return WAIT_FAILED;
  if (o->kind != ObjectKind::kEvent && o->kind != ObjectKind::kThread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  auto* w = static_cast<Waitable*>(o.get());
  std::unique_lock<std::mutex> g(w->lock);
  auto ready = [w] { return w->Signalled(); };
  if (milliseconds == INFINITE)
    w->changed.wait(g, ready);
  else if (!w->changed.wait_for(g, std::chrono::milliseconds(milliseconds), ready))
    return WAIT_TIMEOUT;
  w->Acquired();
  return WAIT_OBJECT_0;
}

// Critical sections are recursive: the owning thread may enter again and
// leaves as often as it entered.
void InitializeCriticalSection(CRITICAL_SECTION* cs) { cs->impl = new std::recursive_mutex; }
void EnterCriticalSection(CRITICAL_SECTION* cs) { static_cast<std::recursive_mutex*>(cs->impl)->lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* cs) { static_cast<std::recursive_mutex*>(cs->impl)->unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION* cs) {
  delete static_cast<std::recursive_mutex*>(cs->impl);
  cs->impl = nullptr;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();  // gives up the rest of the time slice, as the platform does
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) pause();
  }
  timespec ts{(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
