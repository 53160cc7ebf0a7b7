// The link status rules: the pane's text through every transition, when the
// reconnect loop runs, and the keepalive's idle, miss and answer rules.
#include "link/LinkState.h"

#include <gtest/gtest.h>

namespace panora {
namespace {

using Kind = LinkState::Kind;
const std::string kDot = " \u00b7 ";

TEST(LinkState, TextFollowsSerialAndNetworkLinks) {
  LinkState s;
  EXPECT_EQ(s.Text(), "Not connected");
  s.SerialOpened(Kind::Rs232, "/dev/ttyUSB0");
  EXPECT_EQ(s.Text(), "RS232 /dev/ttyUSB0" + kDot + "handshake pending");
  EXPECT_FALSE(s.Up());
  s.HandshakeAnswered(true);
  EXPECT_EQ(s.Text(), "RS232 /dev/ttyUSB0" + kDot + "handshake accepted");
  EXPECT_TRUE(s.Up());
  s.SerialOpened(Kind::Usb, "/dev/ttyACM0");
  s.HandshakeAnswered(false);
  EXPECT_EQ(s.Text(), "USB /dev/ttyACM0" + kDot + "handshake refused");
  EXPECT_FALSE(s.Up());

  s.NetConnecting("192.168.0.178", "4001");
  EXPECT_EQ(s.Text(), "TCP 192.168.0.178:4001" + kDot + "connecting");
  // A handshake answer over the network changes nothing (none is sent).
  s.HandshakeAnswered(false);
  s.NetResult(true);
  EXPECT_EQ(s.Text(), "TCP 192.168.0.178:4001" + kDot + "connected");
  s.SendFailed();
  EXPECT_EQ(s.Text(), "TCP 192.168.0.178:4001" + kDot + "connected" + kDot + "send failed");
  s.BlockReceived();  // it answers again
  EXPECT_EQ(s.Text(), "TCP 192.168.0.178:4001" + kDot + "connected");
  EXPECT_FALSE(s.Lost());  // reconnect is off by default
  EXPECT_EQ(s.Text(), "TCP 192.168.0.178:4001" + kDot + "lost");
  s.NotConnected();
  EXPECT_EQ(s.Text(), "Not connected");
  s.NetConnecting("127.0.0.1", "1");
  s.NetResult(false);
  EXPECT_EQ(s.Text(), "Not connected");
  EXPECT_FALSE(s.Lost());  // nothing to lose
  EXPECT_EQ(s.Text(), "Not connected");
}

TEST(LinkState, ReconnectRetriesOnlyWhatWasUpUntilTheOperatorTakesOver) {
  LinkState s;
  s.SetReconnect(true);
  // A refused handshake or a connect that never worked is not retried.
  s.SerialOpened(Kind::Rs232, "/dev/ttyS0");
  EXPECT_FALSE(s.Lost());
  s.SerialOpened(Kind::Rs232, "/dev/ttyS0");
  s.HandshakeAnswered(false);
  EXPECT_FALSE(s.Lost());

  s.NetConnecting("127.0.0.1", "4001");
  s.NetResult(true);
  EXPECT_TRUE(s.Lost());
  s.ReconnectAttempt();
  s.NetResult(false);  // a failed try: still lost, the loop goes on
  EXPECT_TRUE(s.Reconnecting());
  s.ReconnectAttempt();
  EXPECT_EQ(s.Text(), "TCP 127.0.0.1:4001" + kDot + "lost" + kDot + "reconnecting (try 2)");
  s.NetResult(true);
  EXPECT_FALSE(s.Reconnecting());
  EXPECT_EQ(s.Text(), "TCP 127.0.0.1:4001" + kDot + "connected");

  // Serial: the reopened port's handshake decides; a time-out loops on.
  s.SerialOpened(Kind::Usb, "/dev/ttyACM0");
  s.HandshakeAnswered(true);
  EXPECT_TRUE(s.Lost());
  s.SerialOpened(Kind::Usb, "/dev/ttyACM0", true);
  EXPECT_TRUE(s.Reconnecting());
  EXPECT_EQ(s.Text(), "USB /dev/ttyACM0" + kDot + "handshake pending");
  EXPECT_TRUE(s.Lost());  // its handshake never came
  s.SerialOpened(Kind::Usb, "/dev/ttyACM0", true);
  s.HandshakeAnswered(true);
  EXPECT_FALSE(s.Reconnecting());
  EXPECT_TRUE(s.Up());

  // Disconnect (or any procedure) ends the loop, as does switching it off.
  EXPECT_TRUE(s.Lost());
  s.NotConnected();
  EXPECT_FALSE(s.Reconnecting());
  s.NetConnecting("127.0.0.1", "4001");
  s.NetResult(true);
  EXPECT_TRUE(s.Lost());
  s.SetReconnect(false);
  EXPECT_FALSE(s.Reconnecting());
  EXPECT_EQ(s.Text(), "TCP 127.0.0.1:4001" + kDot + "lost");
  // Switched on again while that link is lost: the loop starts at once.
  EXPECT_TRUE(s.SetReconnect(true));
  EXPECT_TRUE(s.Reconnecting());
  EXPECT_FALSE(s.SetReconnect(true));  // already running
  s.NotConnected();
  s.SetReconnect(false);
  s.SerialOpened(Kind::Rs232, "/dev/ttyS0");
  EXPECT_FALSE(s.Lost());  // never up: switching on does not retry it
  EXPECT_FALSE(s.SetReconnect(true));
}

TEST(LinkState, KeepaliveQueriesWhileIdleAndCountsMisses) {
  LinkState s;
  EXPECT_FALSE(s.KeepaliveTick(false));  // off by default
  s.SetKeepalive(true);
  EXPECT_FALSE(s.KeepaliveTick(false));  // nothing connected
  s.NetConnecting("127.0.0.1", "4001");
  s.NetResult(true);
  EXPECT_TRUE(s.KeepaliveTick(false));
  // Its answer stays unlisted and does not count as the operator's traffic.
  s.BlockReceived();
  EXPECT_TRUE(s.TakeKeepaliveAnswer());
  EXPECT_TRUE(s.KeepaliveTick(false));
  s.BlockReceived();
  EXPECT_TRUE(s.TakeKeepaliveAnswer());
  // The operator's own query is his, and his traffic makes the link not idle.
  EXPECT_TRUE(s.KeepaliveTick(false));
  s.OperatorAskedVersion();
  s.BlockReceived();
  EXPECT_FALSE(s.TakeKeepaliveAnswer());
  EXPECT_FALSE(s.KeepaliveTick(false));
  // The keepalive's query was out before his: its answer, late as it is,
  // stays unlisted; one of his that never got an answer lapses after an interval.
  s.BlockReceived();
  EXPECT_TRUE(s.TakeKeepaliveAnswer());
  s.OperatorAskedVersion();
  EXPECT_FALSE(s.KeepaliveTick(false));
  EXPECT_TRUE(s.KeepaliveTick(false));
  EXPECT_TRUE(s.TakeKeepaliveAnswer());
  EXPECT_FALSE(s.KeepaliveTick(true));  // a batch goes out
  EXPECT_EQ(s.Misses(), 0);

  // Three unanswered queries in a row: not answering, until any block comes.
  EXPECT_TRUE(s.KeepaliveTick(false));
  EXPECT_TRUE(s.KeepaliveTick(false));
  EXPECT_TRUE(s.KeepaliveTick(false));
  EXPECT_FALSE(s.NotAnswering());
  EXPECT_TRUE(s.KeepaliveTick(false));
  EXPECT_TRUE(s.NotAnswering());
  EXPECT_EQ(s.Text(), "TCP 127.0.0.1:4001" + kDot + "connected" + kDot + "not answering");
  s.BlockReceived();
  EXPECT_FALSE(s.NotAnswering());
  // A lost link is not queried.
  s.Lost();
  EXPECT_FALSE(s.KeepaliveTick(false));
}

TEST(LinkState, TheOperatorsQueriesFromWhileKeepaliveWasOffLapse) {
  LinkState s;
  s.NetConnecting("127.0.0.1", "4001");
  s.NetResult(true);
  // Off: his query never gets an answer. It lapses by the first tick, so
  // the answer to our first query stays unlisted.
  s.OperatorAskedVersion();
  s.SetKeepalive(true);
  EXPECT_TRUE(s.KeepaliveTick(false));
  s.BlockReceived();
  EXPECT_TRUE(s.TakeKeepaliveAnswer());
  // One asked just before it was turned on is still his.
  s.SetKeepalive(false);
  s.OperatorAskedVersion();
  s.SetKeepalive(true);
  s.BlockReceived();
  EXPECT_FALSE(s.TakeKeepaliveAnswer());
}

}  // namespace
}  // namespace panora
