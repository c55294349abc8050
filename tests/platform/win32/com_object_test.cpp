// The component objects' shared reference count and interface query: one
// count whatever view it is reached through, a reference for every view a
// query hands out, and deletion at the last Release only.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/win32/com_object.h"

namespace {

const IID kIidFirst = {0x11, 0x2, 0x3, {1, 2, 3, 4, 5, 6, 7, 8}};
const IID kIidSecond = {0x11, 0x2, 0x3, {1, 2, 3, 4, 5, 6, 7, 9}};
const IID kIidOther = {0x12, 0x2, 0x3, {1, 2, 3, 4, 5, 6, 7, 8}};

class IFirst {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual int First() = 0;

 protected:
  virtual ~IFirst() = default;
};
class ISecond {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual int Second() = 0;

 protected:
  virtual ~ISecond() = default;
};

class Both final : public ComObject<IFirst, ISecond> {
 public:
  explicit Both(int* deleted) : deleted_(deleted) {}
  void* Query(REFIID iid) {
    return FindView(iid, {{kIidFirst, static_cast<IFirst*>(this)}, {kIidSecond, static_cast<ISecond*>(this)}});
  }
  int First() override { return 1; }
  int Second() override { return 2; }

 private:
  ~Both() override { ++*deleted_; }
  int* deleted_;
};

TEST(ComObject, ViewsShareOneCountAndTheLastReleaseDeletes) {
  int deleted = 0;
  auto* object = new Both(&deleted);
  auto* second = static_cast<ISecond*>(object->Query(kIidSecond));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Second(), 2);
  auto* first = static_cast<IFirst*>(object->Query(kIidFirst));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->First(), 1);
  EXPECT_EQ(first->AddRef(), 4u);
  EXPECT_EQ(second->Release(), 3u);
  EXPECT_EQ(first->Release(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(deleted, 1);
}

TEST(ComObject, AnUnknownInterfaceGivesNullAndNoReference) {
  int deleted = 0;
  auto* object = new Both(&deleted);
  EXPECT_EQ(object->Query(kIidOther), nullptr);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(deleted, 1);
}

TEST(ComObject, ReferencesTakenAndDroppedOnThreadsLeaveTheCountRight) {
  int deleted = 0;
  auto* object = new Both(&deleted);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([object] {
      for (int i = 0; i < 10000; ++i) {
        object->AddRef();
        object->Release();
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(deleted, 1);
}

}  // namespace
