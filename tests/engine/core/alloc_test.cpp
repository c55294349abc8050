#include "engine/core/alloc.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "tests/support/engine_fixture.h"

namespace {

using AllocTest = EngineLogTest;

TEST_F(AllocTest, DumpShowsBlocksNewestFirstWithTagsAndBytes) {
  void* a = TrackedAlloc(3, "averyveryverylongfilename.cpp", 12);
  std::memcpy(a, "AB\x01", 3);
  void* b = TrackedAlloc(0, "b.cpp", 34);
  int before = TrackedBlockCount();
  SetTrackedTraceSize(-1);
  DumpTrackedBlocks();
  std::string log = Log();
  // A tag longer than 15 characters keeps its last 15.
  EXPECT_NE(log.find("file:ongfilename.cpp  line:12"), std::string::npos) << log;
  EXPECT_NE(log.find("data:<AB.> [41 42 01]\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("file:b.cpp  line:34"), std::string::npos);
  EXPECT_NE(log.find("data:<> ]\r\n"), std::string::npos);  // an empty block
  EXPECT_LT(log.find("file:b.cpp"), log.find("file:ongfilename.cpp"));  // newest first
  EXPECT_NE(log.find("Alloc num:" + std::to_string(before)), std::string::npos);
  TrackedFree(b);
  TrackedFree(a);
  SetTrackedTraceSize(0);
}

TEST_F(AllocTest, ZeroByteAllocationsAreTraced) {
  void* p = TrackedAlloc(0, "zero.cpp", 5);
  TrackedFree(p);
  std::string log = Log();
  EXPECT_NE(log.find("mem alloc  "), std::string::npos);
  EXPECT_NE(log.find("mem free  "), std::string::npos);
}

TEST_F(AllocTest, RandomSequenceKeepsListAndTotalsConsistent) {
  unsigned seed = 20261209;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  SetTrackedTraceSize(-1);
  int base_count = TrackedBlockCount();
  int base_total = TrackedTotalSize();
  std::vector<std::pair<unsigned char*, uint32_t>> live;
  for (int i = 0; i < 2000; ++i) {
    int op = (int)(rng() % 3);
    if (op == 0 || live.empty()) {
      uint32_t n = rng() % 200;
      auto* p = static_cast<unsigned char*>(TrackedCalloc(n, "r", (int16_t)i));
      for (uint32_t k = 0; k < n; ++k) ASSERT_EQ(p[k], 0);
      live.push_back({p, n});
    } else if (op == 1) {
      size_t k = rng() % live.size();
      uint32_t n = rng() % 300;
      uint32_t old = live[k].second;
      std::memset(live[k].first, 0x5A, old);
      auto* p = static_cast<unsigned char*>(TrackedRealloc(live[k].first, n, "r", (int16_t)i));
      ASSERT_NE(p, nullptr);
      for (uint32_t j = 0; j < n; ++j) ASSERT_EQ(p[j], j < old ? 0x5A : 0) << "byte " << j;
      live[k] = {p, n};
    } else {
      size_t k = rng() % live.size();
      TrackedFree(live[k].first);
      live.erase(live.begin() + (long)k);
    }
    ASSERT_EQ(CheckTrackedBlocks(), 0);
  }
  int total = 0;
  for (auto& b : live) total += (int)b.second;
  EXPECT_EQ(TrackedBlockCount(), base_count + (int)live.size());
  EXPECT_EQ(TrackedTotalSize(), base_total + total);
  for (auto& b : live) TrackedFree(b.first);
  EXPECT_EQ(TrackedBlockCount(), base_count);
  SetTrackedTraceSize(0);
}

TEST_F(AllocTest, DamagedHeaderIsReported) {
  SetTrackedTraceSize(-1);
  auto* p = static_cast<unsigned char*>(TrackedAlloc(8, "victim.cpp", 1));
  unsigned char* field = p - 64;  // the header's id field, ahead of the data
  unsigned char keep = field[0];
  field[0] ^= 0xFF;
  EXPECT_EQ(CheckTrackedBlocks(), -1);
  EXPECT_NE(Log().find("以下のメモリ確保情報が破損しました"), std::string::npos);
  field[0] = keep;
  EXPECT_EQ(CheckTrackedBlocks(), 0);
  TrackedFree(p);
  SetTrackedTraceSize(0);
}

// A zero-filled block of many pages comes zero from the system: the
// allocator writes its header and nothing else, so the pages the caller
// never uses are never brought in.
TEST_F(AllocTest, ZeroFilledBlocksLeaveTheirUnusedPagesUntouched) {
  SetTrackedTraceSize(-1);
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  const uint32_t size = 64u << 20;
  auto* p = static_cast<unsigned char*>(TrackedCalloc(size, "zeroed.cpp", 7));
  ASSERT_NE(p, nullptr);
  unsigned char* first = reinterpret_cast<unsigned char*>(((uintptr_t)p + page - 1) / page * page);
  const size_t pages = (size - (size_t)(first - p)) / page;
  std::vector<unsigned char> resident(pages);
  ASSERT_EQ(mincore(first, pages * page, resident.data()), 0);
  size_t in = 0;
  for (unsigned char r : resident) in += r & 1;
  EXPECT_LT(in, pages / 8) << in << " of " << pages << " pages brought in";
  for (size_t i = 0; i < size; i += page / 2) ASSERT_EQ(p[i], 0) << i;
  ASSERT_EQ(p[size - 1], 0);
  TrackedFree(p);
  SetTrackedTraceSize(0);
}

TEST_F(AllocTest, HugeRequestsFailInsteadOfWrapping) {
  SetTrackedTraceSize(-1);
  int count = TrackedBlockCount();
  EXPECT_EQ(TrackedAlloc(0xFFFFFFF0u), nullptr);
  void* p = TrackedAlloc(4);
  EXPECT_EQ(TrackedRealloc(p, 0xFFFFFFF0u), nullptr);
  EXPECT_EQ(TrackedBlockCount(), count + 1);  // the old block stays valid
  TrackedFree(p);
  TrackedFree(nullptr);
  EXPECT_EQ(TrackedBlockCount(), count);
  SetTrackedTraceSize(0);
}

}  // namespace
