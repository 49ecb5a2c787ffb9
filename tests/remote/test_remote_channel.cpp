// The socket primitives on loopback: connecting, the failure texts, a peer
// that closes in the middle of an item, silence (a short wait stands in
// for the 45 seconds) and large strings arriving in pieces.
#include <gtest/gtest.h>

#include <thread>

#include "core/errors.h"
#include "remote/channel.h"
#include "remote/limits.h"
#include "tests/remote/fake_service.h"

namespace omb::test {
namespace {

using namespace std::chrono_literals;
using remote::SocketFailure;
using remote::WireChannel;

WireChannel Connect(const FakeService& service, std::chrono::milliseconds wait = 5s) {
  return WireChannel(remote::OpenConnection({"127.0.0.1", service.port()}), wait);
}

template <typename Receive>
std::string FailureOf(Receive receive) {
  try {
    receive();
  } catch (const SocketFailure& failure) {
    return failure.text();
  }
  return "";
}

// A port nothing listens on: bound, never listening.
uint16_t ClosedPort(platform::TcpSocket& holder) {
  holder = platform::TcpSocket::Create();
  holder.Bind(platform::kLoopback, 0);
  return holder.LocalPort();
}

TEST(RemoteChannel, ConnectFailuresHaveThePartsTexts) {
  platform::TcpSocket holder;
  const uint16_t port = ClosedPort(holder);
  try {
    remote::OpenConnection({"127.0.0.1", port});
    FAIL() << "connected";
  } catch (const ServerConnectionFailure& failure) {
    EXPECT_EQ(failure.message(), "Server connection failure: connect() failed.");
  }
  try {
    remote::OpenConnection({"no-such-host.invalid", 5555});
    FAIL() << "resolved";
  } catch (const ServerNameResolutionFailure& failure) {
    EXPECT_EQ(failure.message(), "Unable to resolve server no-such-host.invalid.");
  }
}

TEST(RemoteChannel, HostNamesAreLookedUpWhenNotDotted) {
  FakeService service({[](WireChannel& channel) { channel.SendByte(42); }});
  WireChannel channel(remote::OpenConnection({"localhost", service.port()}), 5s);
  EXPECT_EQ(channel.RecvByte(), 42);
}

TEST(RemoteChannel, APeerClosingMidInt32OrMidStringClosedTheSocket) {
  FakeService service({
      [](WireChannel& channel) { channel.SendEncoded(std::string("\x01\x02", 2)); },
      [](WireChannel& channel) { channel.SendEncoded(std::string("\x0A\0\0\0abc", 7)); },
      [](WireChannel& channel) { channel.SendEncoded(std::string("\x0A\0", 2)); },
  });
  WireChannel first = Connect(service);
  EXPECT_EQ(FailureOf([&] { first.RecvInt32(); }), remote::kPeerClosed);
  WireChannel second = Connect(service);
  EXPECT_EQ(FailureOf([&] { second.RecvString(100); }), remote::kPeerClosed);
  WireChannel third = Connect(service);
  EXPECT_EQ(FailureOf([&] { third.RecvString(100); }), remote::kPeerClosed);
}

TEST(RemoteChannel, SilenceEndsAReceiveAsTimedOut) {
  std::atomic<bool> release{false};
  FakeService service({[&](WireChannel&) {
    while (!release) std::this_thread::sleep_for(5ms);
  }});
  WireChannel channel = Connect(service, 50ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf([&] { channel.RecvByte(); }), remote::kRecvTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
  release = true;
}

TEST(RemoteChannel, AReceiveThatTimedOutLeavesNothingStaleBehind) {
  FakeService service({[](WireChannel& channel) {
    channel.SendByte(7);
    std::this_thread::sleep_for(150ms);
    channel.SendInt32(123456);
  }});
  WireChannel channel = Connect(service, 50ms);
  EXPECT_EQ(channel.RecvByte(), 7);
  EXPECT_EQ(FailureOf([&] { channel.RecvInt32(); }), remote::kRecvTimedOut);
  int32_t value = 0;
  for (int i = 0; i < 10 && value == 0; ++i) {
    try {
      value = channel.RecvInt32();
    } catch (const SocketFailure& failure) {
      ASSERT_TRUE(failure.Is(remote::kRecvTimedOut)) << failure.text();
    }
  }
  EXPECT_EQ(value, 123456);
}

TEST(RemoteChannel, BoundsViolationsAreRecvFailed) {
  FakeService service({[](WireChannel& channel) { channel.SendInt32(-5); },
                       [](WireChannel& channel) { channel.SendInt32(2000); }});
  WireChannel negative = Connect(service);
  EXPECT_EQ(FailureOf([&] { negative.RecvString(remote::kMaxNameBytes); }), remote::kRecvFailed);
  WireChannel huge = Connect(service);
  EXPECT_EQ(FailureOf([&] { huge.RecvString(remote::kMaxNameBytes); }), remote::kRecvFailed);
}

TEST(RemoteChannel, PrimitivesRoundTripIncludingLargeStrings) {
  const std::string big(3 << 20, 'x');
  std::string echoed;
  FakeService service({[&](WireChannel& channel) {
    const uint8_t byte = channel.RecvByte();
    const int32_t value = channel.RecvInt32();
    std::string empty = channel.RecvString(10);
    std::string text = channel.RecvString(remote::kMaxTextBytes);
    channel.SendByte(byte);
    channel.SendInt32(value);
    channel.SendString(empty);
    channel.SendString(text);
  }});
  WireChannel channel = Connect(service);
  channel.SendByte(200);
  channel.SendInt32(-123456);
  channel.SendString("");
  channel.SendString(big);
  EXPECT_EQ(channel.RecvByte(), 200);
  EXPECT_EQ(channel.RecvInt32(), -123456);
  EXPECT_EQ(channel.RecvString(10), "");
  EXPECT_EQ(channel.RecvString(remote::kMaxTextBytes), big);
}

TEST(RemoteChannel, SendingToAClosedPeerFailsWithoutKillingTheProcess) {
  FakeService service({[](WireChannel& channel) { channel.Close(); }});
  WireChannel channel = Connect(service);
  ASSERT_TRUE(service.WaitDone());
  const std::string chunk(1 << 20, 'y');
  std::string failure;
  for (int i = 0; i < 50 && failure.empty(); ++i) failure = FailureOf([&] { channel.SendString(chunk); });
  EXPECT_TRUE(failure == remote::kSendFailed || failure == remote::kSendFailedInString) << failure;
}

}  // namespace
}  // namespace omb::test
