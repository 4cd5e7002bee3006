// The layer's blocking calls while SIGALRM arrives every 200 µs to a handler installed without
// SA_RESTART, so that every host call in their way is cut short: they carry on as the
// Windows calls do, which no signal interrupts, and neither lose nor repeat a byte.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/support/loopback_peer.h"
#include "platform/winsock.h"
#include "platform_test_support.h"

namespace {

std::atomic<long> gHandlerNanoseconds{0};

// Takes as long as a slow handler would.
void HandleSignal(int) {
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do {
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000000000L + now.tv_nsec - start.tv_nsec <
             gHandlerNanoseconds);
}

// SIGALRM every 200 µs while it lives, each handled in about handlerMicroseconds.
class SignalFlood {
public:
    explicit SignalFlood(long handlerMicroseconds = 0) {
        gHandlerNanoseconds = handlerMicroseconds * 1000;
        struct sigaction action {};
        action.sa_handler = HandleSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &previous_);
        itimerval every{{0, 200}, {0, 200}};
        setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~SignalFlood() {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        signal(SIGALRM, SIG_IGN);  // drops one still pending before the default action returns
        sigaction(SIGALRM, &previous_, nullptr);
    }

private:
    struct sigaction previous_ {};
};

// A thread for the other party, the signals kept for the thread under test.
template <class Work>
std::thread StartUninterrupted(Work work) {
    sigset_t alarm, previous;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &previous);
    std::thread thread(std::move(work));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

sockaddr_in LoopbackAt(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<USHORT>(port));
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    return at;
}

class InterruptedSocketsTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    }
};

TEST_F(InterruptedSocketsTest, ABlockingConnectGoesOnUntilTheConnectionIsMade) {
    int listening = -1;
    int port = QueueOfOneLoopbackPort(&listening);
    ASSERT_GT(port, 0);
    sockaddr_in to = LoopbackAt(port);
    const sockaddr* address = reinterpret_cast<const sockaddr*>(&to);
    SOCKET queued = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET waiting = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(queued, address, sizeof to), 0);  // the next connect has to wait
    int accepted[2] = {-1, -1};
    std::atomic<bool> connecting{false};
    std::thread peer = StartUninterrupted([&] {
        while (!connecting) usleep(1000);
        usleep(200000);  // the connect's first SYN is turned away meanwhile
        for (int& fd : accepted) fd = AcceptAtPeer(listening);
    });
    {
        SignalFlood flood;
        connecting = true;
        EXPECT_EQ(connect(waiting, address, sizeof to), 0) << WSAGetLastError();
    }
    peer.join();
    EXPECT_EQ(send(waiting, "x", 1, 0), 1) << WSAGetLastError();
    for (int fd : accepted) ClosePeer(fd);
    ClosePeer(listening);
}

TEST_F(InterruptedSocketsTest, BlockingAcceptSendAndReceiveKeepEveryByteOnceAndInOrder) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int port = 0;
    int bound = SOCKET_ERROR;
    for (int i = 0; i < 200 && bound != 0; ++i) {
        port = 21000 + (getpid() * 17 + i * 89) % 40000;
        sockaddr_in at = LoopbackAt(port);
        bound = bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    }
    ASSERT_EQ(bound, 0);
    ASSERT_EQ(listen(listener, 1), 0);
    bool echoed = false;
    std::thread peer = StartUninterrupted([&] {
        usleep(50000);  // the accept waits meanwhile
        int fd = ConnectLoopbackPeer(port);
        echoed = fd >= 0 && EchoAtPeer(fd);
        ClosePeer(fd);
    });
    std::vector<char> sent(8 << 20), received;
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>((i * 2654435761u) >> 13);
    {
        SignalFlood flood;
        SOCKET served = accept(listener, nullptr, nullptr);
        EXPECT_NE(served, INVALID_SOCKET) << WSAGetLastError();
        if (served != INVALID_SOCKET) {
            int size = static_cast<int>(sent.size());
            EXPECT_EQ(send(served, sent.data(), size, 0), size) << WSAGetLastError();
            EXPECT_EQ(shutdown(served, SD_SEND), 0);
            std::vector<char> chunk(1 << 16);
            int got;
            while ((got = recv(served, chunk.data(), static_cast<int>(chunk.size()), 0)) > 0) {
                received.insert(received.end(), chunk.begin(), chunk.begin() + got);
            }
            EXPECT_EQ(got, 0) << WSAGetLastError();
            closesocket(served);
        }
        closesocket(listener);  // turns away a peer that came too late
    }
    peer.join();
    EXPECT_TRUE(echoed);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes back";
}

using InterruptedFilesTest = TempDirTest;

TEST_F(InterruptedFilesTest, OpeningAPipeWaitsForItsWriter) {
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    std::thread writer = StartUninterrupted([] {
        usleep(50000);
        // A writer's open without waiting succeeds only while the reader waits in its own.
        int fd = -1;
        for (int i = 0; i < 2000 && fd < 0; ++i) {
            fd = open("pipe", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) usleep(1000);
        }
        EXPECT_EQ(write(fd, "abc", 3), 3);
        close(fd);
    });
    HANDLE pipe;
    {
        SignalFlood flood;
        pipe = CreateFileA((WindowsDir() + "\\pipe").c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    writer.join();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    char bytes[4] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(pipe, bytes, 3, &count, nullptr));
    EXPECT_STREQ(bytes, "abc");
    EXPECT_TRUE(CloseHandle(pipe));
}

using InterruptedWaitsTest = PlatformTest;

TEST_F(InterruptedWaitsTest, ASleepAndATimedWaitEndWhenTheirTimeIsUp) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Handlers take three quarters of the time, and the host adds its timer slack to the time
    // it reports left: a sleep started again with that time after each signal would never end.
    SignalFlood flood(150);
    auto start = std::chrono::steady_clock::now();
    Sleep(100);
    auto slept = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    auto waited = std::chrono::steady_clock::now() - start - slept;
    for (auto took : {slept, waited}) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        EXPECT_GE(ms, 100);
        EXPECT_LT(ms, 5000) << "a wait that ends only by chance";
    }
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
