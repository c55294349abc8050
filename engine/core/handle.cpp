// The one handle table every kind of engine object uses.
#include "engine/core/handle.h"

#include <cstring>

HandleTableBase::HandleTableBase(uint32_t tag, int slot_count, uint32_t record_size)
    : tag_(tag), slot_count_(slot_count), record_size_(record_size) {
  // The tables are process-wide objects made before the engine starts; their
  // slot arrays are plain heap memory, not engine allocations.
  slots_ = new void*[(size_t)slot_count]();
  checks_ = new uint16_t[(size_t)slot_count]();
}

HandleTableBase::~HandleTableBase() {
  delete[] slots_;
  delete[] checks_;
}

int HandleTableBase::Allocate(void** record_out, int recreate) {
  last_failure_ = FAIL_NONE;
  int slot;
  int check;
  if (recreate >= 0) {
    slot = (int)((uint32_t)recreate & HANDLE_SLOT_MASK);
    check = (int)(((uint32_t)recreate & HANDLE_CHECK_MASK) >> 16);
    if (((uint32_t)recreate & HANDLE_TAG_MASK) != tag_ || slot >= slot_count_ || slots_[slot]) {
      last_failure_ = FAIL_FULL;
      return -1;
    }
  } else {
    if (live_count_ == slot_count_) {
      last_failure_ = FAIL_FULL;
      return -1;
    }
    if (high_water_ == slot_count_) {
      slot = 0;
      while (slots_[slot]) ++slot;
    } else {
      slot = high_water_;
    }
    check = next_check_;
  }
  void* record = TrackedCalloc(record_size_);
  if (!record) {
    last_failure_ = FAIL_MEMORY;
    return -1;
  }
  slots_[slot] = record;
  checks_[slot] = (uint16_t)check;
  if (recreate < 0) next_check_ = (next_check_ + 1) % HANDLE_CHECK_COUNT;
  live_count_++;
  if (slot >= high_water_) high_water_ = slot + 1;
  if (record_out) *record_out = record;
  return (int)((uint32_t)slot | tag_ | ((uint32_t)check << 16));
}

void* HandleTableBase::Lookup(int handle) const {
  if (handle < 0) return nullptr;
  uint32_t h = (uint32_t)handle;
  if ((h & HANDLE_TAG_MASK) != tag_) return nullptr;
  uint32_t slot = h & HANDLE_SLOT_MASK;
  if (slot >= (uint32_t)slot_count_ || !slots_[slot]) return nullptr;
  if (((uint32_t)checks_[slot] << 16) != (h & HANDLE_CHECK_MASK)) return nullptr;
  return slots_[slot];
}

int HandleTableBase::Release(int handle) {
  void* record = Lookup(handle);
  if (!record) return -1;
  int slot = (int)((uint32_t)handle & HANDLE_SLOT_MASK);
  TrackedFree(record);
  slots_[slot] = nullptr;
  live_count_--;
  if (slot == high_water_ - 1) {
    int top = slot;
    while (top > 0 && !slots_[top - 1]) --top;
    high_water_ = live_count_ ? top : 0;
  }
  return 0;
}

int HandleTableBase::HandleAt(int slot) const {
  if (slot < 0 || slot >= slot_count_ || !slots_[slot]) return -1;
  return (int)((uint32_t)slot | tag_ | ((uint32_t)checks_[slot] << 16));
}
