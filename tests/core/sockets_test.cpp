// The socket layer on the loopback: two framework handles exchanging framed messages both
// ways, a raw peer that splits, truncates, empties or forges frames, POSIX peers that fill the
// handle table, and a connect that is refused; plus the layer while it is not set up.
#include "core/sockets.h"

#include <gtest/gtest.h>
#include <platform/testing_host.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/tracked_memory.h"
#include "log_file_fixture.h"
#include "support/loopback_peer.h"

namespace {

constexpr char kLoopback[] = "127.0.0.1";

class SocketsTest : public LogFileFixture {
protected:
    void SetUp() override {
        LogFileFixture::SetUp();
        TestUseHeadlessHost(true);
    }

    void TearDown() override {
        TerminateNetwork();
        TestUseHeadlessHost(true);
        LogFileFixture::TearDown();
    }

    // Sets the layer up and listens on a free loopback port.
    void Listen() {
        ASSERT_EQ(SetupNetwork(), 0);
        for (int32_t tries = 0; tries < 200 && listener_ == -1; ++tries) {
            port_ = 20000 + (getpid() * 7 + tries * 131) % 40000;
            listener_ = ListenNetWork(kLoopback, port_);
        }
        ASSERT_NE(listener_, -1);
    }

    // Pumps the layer until done() holds; false when it never does.
    template <class Done>
    static bool PumpUntil(Done done) {
        for (int i = 0; i < 20000; ++i) {
            if (done()) return true;
            PumpNetworkMessages(1);
            if (i > 100) usleep(100);
        }
        return done();
    }

    // A framework connection to the listener, and the listener's handle for it.
    void Connect(Handle* client, Handle* server) {
        *client = ConnectNetWork(kLoopback, port_);
        ASSERT_NE(*client, -1);
        *server = -1;
        ASSERT_TRUE(PumpUntil([&] {
            if (*server == -1) *server = GetNewAcceptNetWork();
            return *server != -1 && IsNetWorkConnected(*client) == 1;
        }));
    }

    // A raw peer: a socket of the layer connected to the listener, and the handle accepted
    // for it.
    SOCKET RawPeer(Handle* server) {
        const PlatformDllTable& ws = gPlatformDlls;
        SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = ws.htons(static_cast<USHORT>(port_));
        to.sin_addr.s_addr = ws.inet_addr(kLoopback);
        EXPECT_EQ(ws.connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        *server = -1;
        EXPECT_TRUE(PumpUntil([&] { return (*server = GetNewAcceptNetWork()) != -1; }));
        return s;
    }

    static void RawSend(SOCKET s, const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(gPlatformDlls.send(s, reinterpret_cast<const char*>(bytes.data()),
                                     static_cast<int>(bytes.size()), 0),
                  static_cast<int>(bytes.size()));
    }

    static std::vector<uint8_t> Frame(uint32_t length, size_t bodyBytes, uint8_t fill) {
        std::vector<uint8_t> frame(4 + bodyBytes, fill);
        for (int i = 0; i < 4; ++i) frame[size_t(i)] = static_cast<uint8_t>(length >> (8 * i));
        return frame;
    }

    // The bytes that tracked memory holds, as the totals line logs them.
    uint64_t TrackedBytes() const {
        LogMemoryTotals();
        std::string log = ReadLogWithoutStamps();
        size_t at = log.rfind("Total size:");
        return at == std::string::npos ? 0 : std::strtoull(log.c_str() + at + 11, nullptr, 10);
    }

    bool Logged(const char* text) const {
        return ReadLogWithoutStamps().find(text) != std::string::npos;
    }

    int32_t port_ = 0;
    Handle listener_ = -1;
};

std::vector<uint8_t> BytePattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed + i / 251);
    return bytes;
}

TEST_F(SocketsTest, WithoutSetUpEveryEntryReturnsAtOnceAndLogsNothing) {
    EXPECT_EQ(AcceptNetWork(), -1);
    EXPECT_EQ(RecvSocket(0x28000000), -1);
    EXPECT_EQ(SendSocket(0x28000000), -1);
    EXPECT_EQ(PumpNetworkMessages(1), 0);
    EXPECT_EQ(HandleSocketMessage(nullptr, kSocketMessage, 5, FD_READ), 0);
    EXPECT_EQ(TerminateNetwork(), 0);
    EXPECT_EQ(ReadLogWithoutStamps(), "");
}

TEST_F(SocketsTest, TwoHandlesExchangeMessagesFromOneByteToOneMegabyteBothWays) {
    Listen();
    Handle client, server;
    Connect(&client, &server);
    const size_t sizes[] = {1, 10, 4096, 65536, 1 << 20};
    std::vector<uint8_t> toServer, toClient;
    for (size_t size : sizes) {
        std::vector<uint8_t> a = BytePattern(size, 1), b = BytePattern(size, 7);
        ASSERT_EQ(NetWorkSend(client, a.data(), static_cast<int32_t>(size)), 0);
        ASSERT_EQ(NetWorkSend(server, b.data(), static_cast<int32_t>(size)), 0);
        toServer.insert(toServer.end(), a.begin(), a.end());
        toClient.insert(toClient.end(), b.begin(), b.end());
    }
    ASSERT_TRUE(PumpUntil([&] {
        return GetNetWorkDataLength(server) == static_cast<int>(toServer.size()) &&
               GetNetWorkDataLength(client) == static_cast<int>(toClient.size());
    }));
    std::vector<uint8_t> got(toServer.size());
    ASSERT_EQ(NetWorkRecv(server, got.data(), static_cast<int32_t>(got.size())), 0);
    EXPECT_EQ(got, toServer);
    ASSERT_EQ(NetWorkRecv(client, got.data(), static_cast<int32_t>(got.size())), 0);
    EXPECT_EQ(got, toClient);
    EXPECT_EQ(NetWorkRecv(client, got.data(), 1), -1);
    EXPECT_EQ(GetNetWorkDataLength(client), 0);
}

TEST_F(SocketsTest, SendingPutsTheLengthFieldBeforeTheBytes) {
    Listen();
    Handle server;
    SOCKET peer = RawPeer(&server);
    std::vector<uint8_t> body = BytePattern(100, 3);
    ASSERT_EQ(NetWorkSend(server, body.data(), 100), 0);
    std::vector<uint8_t> got(104);
    size_t have = 0;
    ASSERT_TRUE(PumpUntil([&] {
        int n = gPlatformDlls.recv(peer, reinterpret_cast<char*>(got.data() + have),
                                   static_cast<int>(got.size() - have), 0);
        if (n > 0) have += static_cast<size_t>(n);
        return have == got.size();
    }));
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 4),
              (std::vector<uint8_t>{0x64, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 4, got.end()), body);
    gPlatformDlls.closesocket(peer);
}

TEST_F(SocketsTest, APartialMessageWaitsUntilItsLastBytesArrive) {
    Listen();
    Handle server;
    SOCKET peer = RawPeer(&server);
    RawSend(peer, Frame(10, 6, 'a'));
    ASSERT_TRUE(PumpUntil([&] { return IsNetWorkConnected(server) == 1; }));
    for (int i = 0; i < 50; ++i) PumpNetworkMessages(1);
    EXPECT_EQ(GetNetWorkDataLength(server), 0);
    RawSend(peer, std::vector<uint8_t>(4, 'b'));
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(server) == 10; }));
    char text[11] = {};
    ASSERT_EQ(NetWorkRecv(server, text, 10), 0);
    EXPECT_STREQ(text, "aaaaaabbbb");
    gPlatformDlls.closesocket(peer);
}

TEST_F(SocketsTest, AFrameWrittenOneByteAtATimeAndAnEmptyFrameAreBothRead) {
    Listen();
    Handle server;
    SOCKET peer = RawPeer(&server);
    RawSend(peer, Frame(0, 0, 0));
    for (uint8_t byte : Frame(5, 5, 'z')) {
        RawSend(peer, {byte});
        for (int i = 0; i < 5; ++i) PumpNetworkMessages(1);
    }
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(server) == 5; }));
    EXPECT_EQ(IsNetWorkConnected(server), 1);
    gPlatformDlls.closesocket(peer);
}

TEST_F(SocketsTest, AHostileLengthIsRefusedAndTheConnectionClosed) {
    Listen();
    Handle server;
    SOCKET peer = RawPeer(&server);
    RawSend(peer, Frame(0xFFFFFFF0u, 16, 'x'));
    // The handle is retired by the pump; the peer sees the connection end.
    ASSERT_TRUE(PumpUntil([&] { return IsNetWorkConnected(server) == -1; }));
    char byte;
    ASSERT_TRUE(PumpUntil([&] { return gPlatformDlls.recv(peer, &byte, 1, 0) == 0; }));
    EXPECT_NE(ReadLogWithoutStamps().find(
                  "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ "
                  "4294967280 byte)"),
              std::string::npos);
    gPlatformDlls.closesocket(peer);
}

TEST_F(SocketsTest, APeerClosingMidFrameLeavesNothingToReadAndTheHandleIsRetiredOnClose) {
    Listen();
    Handle server;
    SOCKET peer = RawPeer(&server);
    RawSend(peer, Frame(100, 50, 'q'));
    gPlatformDlls.closesocket(peer);
    ASSERT_TRUE(PumpUntil([&] { return IsNetWorkConnected(server) == 0; }));
    EXPECT_EQ(GetNetWorkDataLength(server), 0);
    EXPECT_EQ(RecvSocket(server), 0);
    EXPECT_EQ(CloseNetWork(server), 0);
    PumpNetworkMessages(1);
    EXPECT_EQ(IsNetWorkConnected(server), -1);
    EXPECT_EQ(RecvSocket(server), -1);
}

TEST_F(SocketsTest, AnAnnouncedLengthClaimsMemoryOnlyAsItsBytesArrive) {
    Listen();
    int peer = ConnectLoopbackPeer(port_);
    ASSERT_GE(peer, 0);
    Handle server = -1;
    ASSERT_TRUE(PumpUntil([&] { return (server = GetNewAcceptNetWork()) != -1; }));
    const uint64_t before = TrackedBytes();
    std::vector<uint8_t> frame = Frame(kMaxNetworkMessageBytes, 1000, 'm');
    ASSERT_EQ(SendFromPeer(peer, frame.data(), frame.size()), frame.size());
    ASSERT_TRUE(PumpUntil([&] { return TrackedBytes() > before; }));
    EXPECT_LT(TrackedBytes() - before, 1u << 20);
    EXPECT_EQ(IsNetWorkConnected(server), 1);
    ClosePeer(peer);
}

TEST_F(SocketsTest, MessagesKeepTheirBytesWhileTheRingGrowsAndWrapsUnderPartialReads) {
    Listen();
    Handle client, server;
    Connect(&client, &server);
    std::vector<uint8_t> expected;
    size_t readUpTo = 0;
    const int32_t sizes[] = {300000, 70000, 5, 200000, 131072, 400000};
    for (int32_t size : sizes) {
        std::vector<uint8_t> message = BytePattern(static_cast<size_t>(size), uint8_t(size));
        ASSERT_EQ(NetWorkSend(client, message.data(), size), 0);
        expected.insert(expected.end(), message.begin(), message.end());
        const int waiting = static_cast<int>(expected.size() - readUpTo);
        ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(server) == waiting; }));
        // Leaving a third behind keeps the ring's start inside the storage, so the next
        // message wraps.
        const int take = waiting * 2 / 3;
        std::vector<uint8_t> got(static_cast<size_t>(take));
        ASSERT_EQ(NetWorkRecv(server, got.data(), take), 0);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + long(readUpTo)));
        readUpTo += static_cast<size_t>(take);
    }
}

TEST_F(SocketsTest, AFullHandleTableRefusesOneConnectionAndAcceptsAgainOnceAHandleIsFree) {
    Listen();
    // The listener holds one of the 256 handles.
    std::vector<int> peers;
    std::vector<Handle> accepted;
    for (int i = 0; i < 255; ++i) {
        peers.push_back(ConnectLoopbackPeer(port_));
        ASSERT_GE(peers.back(), 0);
        Handle h = -1;
        ASSERT_TRUE(PumpUntil([&] { return (h = GetNewAcceptNetWork()) != -1; }));
        accepted.push_back(h);
    }
    int refused = ConnectLoopbackPeer(port_);
    ASSERT_GE(refused, 0);
    peers.push_back(refused);
    char byte;
    ASSERT_TRUE(PumpUntil([&] { return ReceiveAtPeer(refused, &byte, 1) == 0; }));
    EXPECT_TRUE(Logged("accept 用のハンドル作成に失敗しました "));
    EXPECT_EQ(GetNewAcceptNetWork(), -1);

    ASSERT_EQ(CloseNetWork(accepted[0]), 0);
    PumpNetworkMessages(1);
    peers.push_back(ConnectLoopbackPeer(port_));
    ASSERT_GE(peers.back(), 0);
    Handle late = -1;
    ASSERT_TRUE(PumpUntil([&] { return (late = GetNewAcceptNetWork()) != -1; }));
    EXPECT_EQ(IsNetWorkConnected(late), 1);
    for (int fd : peers) ClosePeer(fd);
}

TEST_F(SocketsTest, ARefusedConnectEndsAsALostConnectionAndIsLogged) {
    ASSERT_EQ(SetupNetwork(), 0);
    int blocker = -1;
    int port = RefusingLoopbackPort(&blocker);
    ASSERT_GT(port, 0);
    Handle client = ConnectNetWork(kLoopback, port);
    ASSERT_NE(client, -1);
    ASSERT_TRUE(
        PumpUntil([&] { return Logged("ネットワークログ。connectに失敗しました[10061]"); }));
    EXPECT_EQ(IsNetWorkConnected(client), 0);
    EXPECT_EQ(NetWorkSend(client, "x", 1), -1);
    // Closed by its owner, it is retired like any other.
    EXPECT_EQ(CloseNetWork(client), 0);
    PumpNetworkMessages(1);
    EXPECT_EQ(IsNetWorkConnected(client), -1);
    ClosePeer(blocker);
}

TEST_F(SocketsTest, AMessageForASocketNoHandleOwnsIsLogged) {
    Listen();
    EXPECT_EQ(HandleSocketMessage(nullptr, kSocketMessage, 0xFFFF0, FD_READ), 0);
    EXPECT_NE(ReadLogWithoutStamps().find("通信エラー No.1"), std::string::npos);
}

TEST_F(SocketsTest, TerminateClosesEveryConnectionAndCanBeSetUpAgain) {
    Listen();
    Handle client, server;
    Connect(&client, &server);
    ASSERT_EQ(TerminateNetwork(), 0);
    EXPECT_EQ(IsNetWorkConnected(client), -1);
    std::string log = ReadLogWithoutStamps();
    EXPECT_NE(log.find("ネットワーク関連の終了処理を行います "), std::string::npos);
    EXPECT_NE(log.find("ネットワーク関連の終了処理は完了しました"), std::string::npos);
    listener_ = -1;
    Listen();
}

}  // namespace
