// Engine handles: kind tag (bits 27-30), check number (bits 16-26) and slot
// (bits 0-15). One table per kind hands them out; a stale handle fails once
// its slot has been reused, unless exactly 2048 allocations passed meanwhile.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "engine/core/alloc.h"

enum HandleKind : uint32_t {
  HANDLE_GRAPH = 0x08000000u,
  HANDLE_SOUND = 0x10000000u,
  HANDLE_MOVIE = 0x18000000u,
  HANDLE_FONT = 0x20000000u,
  HANDLE_MASK = 0x40000000u,
  HANDLE_NETWORK = 0x48000000u,
  HANDLE_TEXT_INPUT = 0x50000000u,
  HANDLE_MUSIC = 0x58000000u,
  HANDLE_LIGHT = 0x60000000u,
  HANDLE_SOFT_IMAGE = 0x70000000u,
};

constexpr uint32_t HANDLE_TAG_MASK = 0x78000000u;
constexpr uint32_t HANDLE_CHECK_MASK = 0x07FF0000u;
constexpr uint32_t HANDLE_SLOT_MASK = 0x0000FFFFu;
constexpr int HANDLE_CHECK_COUNT = 2048;

// The untyped table; records are zero-filled tracked allocations.
class HandleTableBase {
 public:
  enum Failure { FAIL_NONE, FAIL_FULL, FAIL_MEMORY };

  HandleTableBase(uint32_t tag, int slot_count, uint32_t record_size);
  ~HandleTableBase();
  HandleTableBase(const HandleTableBase&) = delete;
  HandleTableBase& operator=(const HandleTableBase&) = delete;

  // Returns the handle, or -1 with last_failure() set. With recreate >= 0 the
  // record takes that handle's slot and check number (the slot must be free).
  int Allocate(void** record_out, int recreate = -1);
  void* Lookup(int handle) const;  // null when the handle fails validation
  // Frees the record; the caller has released what the record holds. -1 when
  // the handle is invalid.
  int Release(int handle);

  uint32_t tag() const { return tag_; }
  int slot_count() const { return slot_count_; }
  int live_count() const { return live_count_; }
  int high_water() const { return high_water_; }
  int next_check() const { return next_check_; }
  Failure last_failure() const { return last_failure_; }
  // Handle of the record in a slot, or -1 when the slot is free.
  int HandleAt(int slot) const;

 private:
  uint32_t tag_;
  int slot_count_;
  uint32_t record_size_;
  void** slots_;
  uint16_t* checks_;  // the check number each slot's record was created with
  int live_count_ = 0;
  int high_water_ = 0;
  int next_check_ = 0;
  Failure last_failure_ = FAIL_NONE;
};

// Typed table. Record must be constructible from zero-filled memory, with a
// default constructor; Release runs its destructor.
template <class Record>
class HandleTable : public HandleTableBase {
 public:
  HandleTable(uint32_t tag, int slot_count) : HandleTableBase(tag, slot_count, sizeof(Record)) {}
  ~HandleTable() { ReleaseAll(); }

  int Allocate(Record** out = nullptr, int recreate = -1) {
    void* p = nullptr;
    int h = HandleTableBase::Allocate(&p, recreate);
    if (h < 0) return -1;
    Record* r = new (p) Record();
    if (out) *out = r;
    return h;
  }
  Record* Lookup(int handle) const { return static_cast<Record*>(HandleTableBase::Lookup(handle)); }
  int Release(int handle) {
    Record* r = Lookup(handle);
    if (!r) return -1;
    r->~Record();
    return HandleTableBase::Release(handle);
  }
  template <class Fn>  // fn(handle, record&) for every live record, lowest slot first
  void ForEach(Fn&& fn) const {
    for (int s = 0; s < high_water(); ++s) {
      int h = HandleAt(s);
      if (h >= 0) fn(h, *Lookup(h));
    }
  }
  void ReleaseAll() {
    for (int s = high_water() - 1; s >= 0; --s) {
      int h = HandleAt(s);
      if (h >= 0) Release(h);
    }
  }
};
