// The handle table shared by every kind of kernel object, and the
// per-thread last-error code.
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/win32/kernel_object.h"
#include "platform/win32/win32.h"

namespace vox_win32 {
namespace {

struct Table {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;  // multiples of 4, as the platform's handles are
};

Table& table() {
  static Table* t = new Table;  // never destroyed: threads may outlive static teardown
  return *t;
}

}  // namespace

HANDLE RegisterObject(std::shared_ptr<KernelObject> object) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  uintptr_t value = t.next;
  t.next += 4;
  if (t.next >= UINTPTR_MAX - 8) t.next = 0x100;
  t.objects[value] = std::move(object);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

std::shared_ptr<KernelObject> UnregisterObject(HANDLE handle, unsigned kinds) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end() || !(kinds & KindBit(it->second->kind))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::shared_ptr<KernelObject> o = std::move(it->second);
  t.objects.erase(it);
  return o;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EBUSY: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EDQUOT: return ERROR_DISK_QUOTA_EXCEEDED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace vox_win32

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return last_error; }
void SetLastError(DWORD code) { last_error = code; }

BOOL CloseHandle(HANDLE object) {
  using namespace vox_win32;
  // A find search is ended by FindClose only, as on the platform.
  std::shared_ptr<KernelObject> o = UnregisterObject(
      object, KindBit(ObjectKind::kFile) | KindBit(ObjectKind::kEvent) | KindBit(ObjectKind::kThread));
  return o ? o->Close() : FALSE;
}
