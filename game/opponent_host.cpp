// Opponent modules and their thinking threads.
#include "game/opponent_host.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

template <typename Fn>
bool bind(HMODULE module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(GetProcAddress(module, name));
  return *out != nullptr;
}

// One search on its way: what the thread runs, holding the view alive for
// as long as the thread runs.
struct ThinkJob {
  OpponentThinkFn think;
  std::shared_ptr<OpponentView> view;
};

DWORD think_main(LPVOID arg) {
  ThinkJob* job = static_cast<ThinkJob*>(arg);
  job->think(&job->view->decision);
  delete job;
  return 0;
}

std::mutex stuck_lock;
std::vector<HMODULE>& stuck_modules() {
  static auto* modules = new std::vector<HMODULE>;
  return *modules;
}

}  // namespace

bool bind_opponent_exports(HMODULE module, OpponentExports* exports) {
  OpponentExports e;
  bool ok = module && bind(module, VOX_OPPONENT_INIT, &e.init) && bind(module, VOX_OPPONENT_THINK_SET, &e.think_set) &&
            bind(module, VOX_OPPONENT_GET_THINKING_TIME, &e.get_thinking_time) &&
            bind(module, VOX_OPPONENT_GET_MISS_PERCENT, &e.get_miss_percent) &&
            bind(module, VOX_OPPONENT_GET_GRAPHIC_NAME, &e.get_graphic_name) &&
            bind(module, VOX_OPPONENT_GET_FACE_NAME, &e.get_face_name) &&
            bind(module, VOX_OPPONENT_GET_CHARA_NAME, &e.get_chara_name) &&
            bind(module, VOX_OPPONENT_GET_CHARA_DESCRIPT, &e.get_chara_descript);
  *exports = ok ? e : OpponentExports{};
  return ok;
}

HANDLE start_think_thread(OpponentThinkFn think, std::shared_ptr<OpponentView> view) {
  if (!think || !view) return nullptr;
  ThinkJob* job = new ThinkJob{think, std::move(view)};
  HANDLE thread = CreateThread(nullptr, 0, think_main, job, 0, nullptr);
  if (!thread) delete job;
  return thread;
}

bool think_thread_ended(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

bool finish_think_thread(HANDLE thread, HMODULE module, DWORD limit_ms) {
  if (!thread) return true;
  bool ended = WaitForSingleObject(thread, limit_ms) == WAIT_OBJECT_0;
  CloseHandle(thread);
  if (!ended && module) {
    std::lock_guard<std::mutex> g(stuck_lock);
    std::vector<HMODULE>& stuck = stuck_modules();
    if (std::find(stuck.begin(), stuck.end(), module) == stuck.end()) stuck.push_back(module);
  }
  return ended;
}

bool opponent_module_stuck(HMODULE module) {
  std::lock_guard<std::mutex> g(stuck_lock);
  const std::vector<HMODULE>& stuck = stuck_modules();
  return module && std::find(stuck.begin(), stuck.end(), module) != stuck.end();
}

void release_opponent_module(HMODULE module) {
  if (!module || opponent_module_stuck(module)) return;
  FreeLibrary(module);
}
