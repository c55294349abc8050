// What the stand-ins' component objects share: interface and class ids, one
// reference count per object whatever interface it is reached through, and
// the interface query over a list of the object's views.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>

#ifndef VOX_GUID_DEFINED
#define VOX_GUID_DEFINED
struct GUID {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; i++)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFIID;
typedef const GUID& REFCLSID;
#endif

// The object as one of its interfaces shows it, under that interface's id.
struct ComView {
  const IID& iid;
  void* view;
};

// An object made of `Interfaces` (each declares AddRef and Release), born
// with one reference; the last Release deletes it. Counting is atomic: a
// decoding thread may hold a reference beside the caller's.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() override = default;

  // The view of `views` listed under iid, with a reference added for the
  // caller; null, and no reference, when the object has no such interface.
  void* FindView(REFIID iid, std::initializer_list<ComView> views) {
    for (const ComView& v : views) {
      if (v.iid == iid) {
        AddRef();
        return v.view;
      }
    }
    return nullptr;
  }

 private:
  std::atomic<uint32_t> refs_{1};
};
