// The soft-image handle table: decoded images kept under engine handles.
#include "engine/image/soft_image.h"

#include <new>

#include "engine/core/handle.h"
#include "engine/core/log.h"

static HandleTable<SoftImage>& SoftImages() {
  // Made on first use and never destroyed, so no static destructor runs
  // after the allocator or the log have ended.
  static HandleTable<SoftImage>* table = new HandleTable<SoftImage>(HANDLE_SOFT_IMAGE, MAX_SOFT_IMAGES);
  return *table;
}

int NewSoftImageHandle() {
  HandleTable<SoftImage>& table = SoftImages();
  if (table.live_count() >= MAX_SOFT_IMAGES) AbortWithLog("ソフトイメージの数が許容量を越えました終了します");
  int handle = table.Allocate();
  if (handle < 0) {
    if (table.last_failure() == HandleTableBase::FAIL_FULL)
      AbortWithLog("ソフトイメージの数が許容量を越えました終了します");
    AbortWithLog("メモリの確保に失敗しました");
  }
  return handle;
}

int FreeSoftImageHandle(int handle) { return SoftImages().Release(handle); }

int DeleteAllSoftImages() {
  SoftImages().ReleaseAll();
  return 0;
}

int EndSoftImages() { return DeleteAllSoftImages(); }

SoftImage* GetSoftImageRecord(int handle) { return SoftImages().Lookup(handle); }
