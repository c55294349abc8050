// The socket module inside the whole engine: started on the engine's main
// window, its events served by the engine's message step, and ended with the
// engine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/core/engine_start.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/runtime/engine_runtime.h"
#include "tests/engine/net/net_fixture.h"

namespace {

class NetEngineTest : public EngineLogTest {
 protected:
  void TearDown() override {
    EndEngine();
    ResetEngineSubsystems();
    EngineLogTest::TearDown();
  }
};

TEST_F(NetEngineTest, TheModuleRunsOnTheEngineMessageStepAndEndsWithTheEngine) {
  InstallEngineServices();
  ChangeWindowMode(1);
  SetAllowDoubleStart(1);
  SetRunWhileInactive(1);
  ASSERT_EQ(InitEngine(), 0);
  ASSERT_EQ(StartNetworkModule(nullptr), 0);
  EXPECT_EQ(GetNetModuleState().window, GetMainWindow());
  int listener = ListenNetWork(0);
  ASSERT_GE(listener, 0);

  winsock::WSADATA data;
  ASSERT_EQ(winsock::WSAStartup(winsock::MakeVersion(2, 0), &data), 0);
  // The module knows this host's own address (0 where the name has none).
  char name[256];
  ASSERT_EQ(winsock::gethostname(name, sizeof name), 0);
  hostent* own = winsock::gethostbyname(name);
  uint32_t address = 0;
  if (own) memcpy(&address, own->h_addr_list[0], 4);
  EXPECT_EQ(GetNetModuleState().local_address, address);
  winsock::SOCKET peer = loopback::Connect(loopback::PortOf(FindSocketRecord(listener)->socket));
  ASSERT_TRUE(loopback::SendAll(peer, Framed("through the engine")));
  int handle = -1;
  for (int i = 0; i < 10000 && handle < 0; i++) {
    ASSERT_EQ(ProcessEngineMessages(), 0);
    const List& live = GetNetModuleState().live;
    for (const ListNode* n = live.head.next; n != &live.tail; n = n->next) {
      const SocketRecord* r = static_cast<const SocketRecord*>(n->data);
      if (r->completed > 0) handle = n->value;
    }
    Sleep(1);
  }
  ASSERT_GE(handle, 0);
  EXPECT_EQ(FindSocketRecord(handle)->completed, 18);

  EXPECT_EQ(EndEngine(), 0);
  EXPECT_EQ(GetNetModuleState().running, 0);
  EXPECT_EQ(FindSocketRecord(handle), nullptr);
  EXPECT_EQ(loopback::ReceiveExactly(peer, 1), "");  // closed with the engine
  winsock::closesocket(peer);
  EXPECT_EQ(winsock::WSACleanup(), 0);
  EXPECT_EQ(WsOpenSocketCount(), 0);
  EXPECT_NE(Log().find("ネットワーク関連の終了処理は完了しました"), std::string::npos);
}

}  // namespace
