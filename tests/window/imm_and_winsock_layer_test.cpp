// The layer's input contexts and Winsock: what a context answers and sends, sockets the layer
// did not issue or issued before WSAStartup, and WSAAsyncSelect's events, each posted once
// until the call that brings it back.
#include <gtest/gtest.h>
#include <platform/imm.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32.h>
#include <platform/win32_user.h>
#include <platform/winsock.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT kSocketMessage = WM_USER + 0x105;

std::vector<MSG> gReceived;

LRESULT Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSocketMessage ||
        (message >= WM_IME_STARTCOMPOSITION && message <= WM_IME_COMPOSITION) ||
        message == WM_IME_NOTIFY) {
        gReceived.push_back({window, message, wParam, lParam, 0, {}});
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestUseHeadlessHost(true);
        gReceived.clear();
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Recording;
        windowClass.lpszClassName = "LayerTestWindow";
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
        window_ = CreateWindowExA(0, "LayerTestWindow", "", 0, 0, 0, 8, 8, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override {
        TestUseHeadlessHost(true);
        TestResetPlatform();
    }

    // The socket events received for s, by event word, after pumping a while.
    std::vector<LONG> Events(SOCKET s, int rounds = 50) {
        MSG msg;
        for (int i = 0; i < rounds; ++i) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            usleep(200);
        }
        std::vector<LONG> events;
        std::erase_if(gReceived, [&](const MSG& m) {
            bool mine = m.message == kSocketMessage && m.wParam == s;
            if (mine) events.push_back(LOWORD(m.lParam));
            return mine;
        });
        return events;
    }

    HWND window_ = nullptr;
};

TEST_F(LayerTest, AContextAnswersSizesCopiesAndSendsWhatChanges) {
    HIMC context = ImmGetContext(window_);
    ASSERT_NE(context, nullptr);
    char text[] = "かな";  // CP932: 4 bytes
    ASSERT_TRUE(ImmSetCompositionStringA(context, SCS_SETSTR, text, 4, nullptr, 0));
    ASSERT_EQ(gReceived.size(), 2u);
    EXPECT_EQ(gReceived[0].message, WM_IME_STARTCOMPOSITION);
    EXPECT_EQ(gReceived[1].message, WM_IME_COMPOSITION);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0), 4);
    char copy[8] = {};
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, copy, 3), 3);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 4);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, copy, sizeof copy), 0);
    EXPECT_EQ(ImmGetCandidateListA(context, 0, nullptr, 0), 0u);

    gReceived.clear();
    EXPECT_TRUE(ImmSetOpenStatus(context, TRUE));
    EXPECT_TRUE(ImmSetOpenStatus(context, TRUE));
    ASSERT_EQ(gReceived.size(), 1u);
    EXPECT_EQ(gReceived[0].wParam, IMN_SETOPENSTATUS);
    EXPECT_TRUE(ImmGetOpenStatus(context));

    gReceived.clear();
    EXPECT_TRUE(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0));
    ASSERT_EQ(gReceived.size(), 1u);
    EXPECT_EQ(gReceived[0].message, WM_IME_ENDCOMPOSITION);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, nullptr, 0), 0);
    EXPECT_TRUE(ImmReleaseContext(window_, context));
    EXPECT_EQ(ImmGetContext(reinterpret_cast<HWND>(0x1234)), nullptr);
}

TEST_F(LayerTest, SocketsAreRefusedBeforeStartUpAndWhenTheLayerDidNotIssueThem) {
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSADATA data;
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    char byte = 0;
    EXPECT_EQ(recv(0x1234, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(send(0, &byte, 1, 0), SOCKET_ERROR);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    EXPECT_EQ(socket(AF_INET, 2, 0), INVALID_SOCKET);  // datagrams are not offered
    // The last clean-up closes what was left open.
    EXPECT_EQ(WSACleanup(), 0);
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(inet_addr("1.2.3.4"), 0x04030201u);
    EXPECT_EQ(inet_addr("1.2.3"), INADDR_NONE);
    EXPECT_EQ(htons(0x1234), 0x3412);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

TEST_F(LayerTest, SelectedEventsArePostedOnceUntilTheCallThatBringsThemBack) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    int bound = SOCKET_ERROR;
    for (int i = 0; i < 200 && bound != 0; ++i) {
        at.sin_port = htons(static_cast<USHORT>(21000 + (getpid() * 13 + i * 97) % 40000));
        bound = bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    }
    ASSERT_EQ(bound, 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(WSAAsyncSelect(listener, window_, kSocketMessage, FD_ACCEPT), 0);

    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_CONNECT | FD_WRITE | FD_READ), 0);
    EXPECT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&at), sizeof at), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(Events(client), (std::vector<LONG>{FD_CONNECT, FD_WRITE}));
    EXPECT_EQ(Events(listener), (std::vector<LONG>{FD_ACCEPT}));

    sockaddr_in peer{};
    int length = sizeof peer;
    SOCKET served = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    ASSERT_NE(served, INVALID_SOCKET);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(peer.sin_family, AF_INET);
    EXPECT_EQ(Events(listener), std::vector<LONG>{});
    ASSERT_EQ(WSAAsyncSelect(served, window_, kSocketMessage, FD_READ | FD_CLOSE), 0);

    ASSERT_EQ(send(client, "abc", 3, 0), 3);
    EXPECT_EQ(Events(served), std::vector<LONG>{FD_READ});
    char bytes[4];
    // A peek that finds nothing new does not bring the event back; taking bytes does.
    EXPECT_EQ(recv(served, bytes, 3, MSG_PEEK), 3);
    EXPECT_EQ(Events(served), std::vector<LONG>{});
    EXPECT_EQ(recv(served, bytes, 1, 0), 1);
    EXPECT_EQ(Events(served), std::vector<LONG>{FD_READ});
    EXPECT_EQ(recv(served, bytes, 2, 0), 2);
    EXPECT_EQ(Events(served), std::vector<LONG>{});

    ASSERT_EQ(closesocket(client), 0);
    EXPECT_EQ(Events(served), std::vector<LONG>{FD_CLOSE});
    EXPECT_EQ(recv(served, bytes, 1, 0), 0);
    EXPECT_EQ(Events(served), std::vector<LONG>{});
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(SdlImeTest, SdlCompositionsAndCommitsReachTheWindowsContext) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    TestResetPlatform();
    TestUseHeadlessHost(false);
    gReceived.clear();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Recording;
    windowClass.lpszClassName = "SdlImeWindow";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window =
        CreateWindowExA(0, "SdlImeWindow", "", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    auto pump = [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    };
    pump();
    gReceived.clear();
    TestSdlPushText(window, reinterpret_cast<const char*>(u8"あい"), true, 1, 1);
    pump();
    ASSERT_EQ(gReceived.size(), 2u);
    EXPECT_EQ(gReceived[1].message, WM_IME_COMPOSITION);
    HIMC context = ImmGetContext(window);
    char text[8] = {};
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPSTR, text, sizeof text), 4);
    EXPECT_EQ(std::string(text), "あい");
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 2);
    BYTE attributes[4] = {};
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPATTR, attributes, 4), 4);
    EXPECT_EQ(attributes[1], ATTR_INPUT);
    EXPECT_EQ(attributes[2], ATTR_TARGET_CONVERTED);

    gReceived.clear();
    TestSdlPushText(window, reinterpret_cast<const char*>(u8"愛"), false, 0, 0);
    pump();
    ASSERT_EQ(gReceived.size(), 2u);
    EXPECT_NE(gReceived[0].lParam & GCS_RESULTSTR, 0);
    EXPECT_EQ(gReceived[1].message, WM_IME_ENDCOMPOSITION);
    EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, nullptr, 0), 0);  // as of the end
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("SdlImeWindow", nullptr));
    TestUseHeadlessHost(true);
}

}  // namespace
