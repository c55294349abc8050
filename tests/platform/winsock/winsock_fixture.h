// WinSock started for each test and ended after it, with no failure left
// injected; every socket a test leaves open is closed by the last cleanup.
#pragma once

#include <gtest/gtest.h>

#include "platform/winsock/winsock_control.h"
#include "tests/platform/winsock/loopback.h"

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WsClearFailures();
    winsock::WSADATA data;
    ASSERT_EQ(winsock::WSAStartup(winsock::MakeVersion(2, 0), &data), 0);
  }
  void TearDown() override {
    WsClearFailures();
    WsSetSendLimit(0);
    EXPECT_EQ(winsock::WSACleanup(), 0);
    EXPECT_EQ(WsOpenSocketCount(), 0);
  }
};
