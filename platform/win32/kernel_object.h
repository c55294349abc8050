// Kernel objects behind HANDLE values: files, events, threads and find
// searches share one table, so CloseHandle and WaitForSingleObject can tell
// what a handle names and refuse stale or foreign values instead of crashing.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32/win32.h"

namespace vox_win32 {

enum class ObjectKind { kFile, kEvent, kThread, kFind };

struct KernelObject {
  explicit KernelObject(ObjectKind k) : kind(k) {}
  virtual ~KernelObject() = default;
  // Runs when the handle is closed; the object itself may outlive it.
  virtual BOOL Close() { return TRUE; }
  const ObjectKind kind;
};

// Hands out a new handle value (never null, never INVALID_HANDLE_VALUE).
HANDLE RegisterObject(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null (last error ERROR_INVALID_HANDLE) when
// the handle is not live or names another kind of object.
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle, ObjectKind kind) {
  std::shared_ptr<KernelObject> o = LookupObject(handle);
  if (!o) return nullptr;
  if (o->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(o);
}
constexpr unsigned KindBit(ObjectKind k) { return 1u << static_cast<unsigned>(k); }
// Removes the handle from the table when it names one of `kinds` (KindBit
// values); the object lives on while someone (a waiter, a running thread)
// still holds it. Returns the object, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<KernelObject> UnregisterObject(HANDLE handle, unsigned kinds);

// The last-error code for an errno value.
DWORD ErrorFromErrno(int error);

// 100-nanosecond intervals since 1601-01-01 UTC, from Unix time.
FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds);

}  // namespace vox_win32
