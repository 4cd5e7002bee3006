// Fuzz target: arbitrary bytes from a peer on the loopback into a framed network handle. The
// handle may take only whole messages, never more bytes than were sent, and must end with
// the connection; a forged length must not reach memory it does not own.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/sockets.h"
#include "core/string_functions.h"

namespace {

constexpr size_t kMaxInput = 32 * 1024;  // what the loopback takes without a reader
// The peer closes first, so its end of a gracefully closed connection stays in TIME_WAIT for a
// minute. From 127.0.0.1 alone the connects soon need the host to hand those ports over again,
// which it may refuse or run out of; each peer therefore has its own source address in
// 127.0.0.0/8 (127.0.0.2 up to 127.255.255.254), none coming back within a minute at any rate
// the target reaches, so every connection is new to the host.
constexpr uint32_t kFirstSource = 0x7F000002u, kSources = 0x7FFFFFFEu - kFirstSource + 1;
uint32_t gNextSource = 0;
int32_t gPort = -1;

// A step of the peer's set-up failed: nothing the input did, so the run stops with the reason.
[[noreturn]] void PeerFailed(const char* step) {
    fprintf(stderr, "socket_frames: the peer's %s failed, Winsock error %d\n", step,
            gPlatformDlls.WSAGetLastError());
    __builtin_trap();
}

// A loopback socket bound to the next source address, the kernel choosing its port.
SOCKET OpenPeer() {
    const PlatformDllTable& ws = gPlatformDlls;
    SOCKET peer = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (peer == INVALID_SOCKET) PeerFailed("socket");
    uint32_t source = kFirstSource + gNextSource;
    gNextSource = (gNextSource + 1) % kSources;
    char text[16];
    snprintf(text, sizeof text, "127.%u.%u.%u", (source >> 16) & 0xFFu, (source >> 8) & 0xFFu,
             source & 0xFFu);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = ws.inet_addr(text);
    if (ws.bind(peer, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
        PeerFailed("bind");
    }
    return peer;
}

template <class Done>
bool PumpUntil(Done done) {
    for (int i = 0; i < 100000; ++i) {
        if (done()) return true;
        PumpNetworkMessages(1);
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    char directory[] = "/tmp/orbek_fuzz_sockets_XXXXXX";
    if (mkdtemp(directory) != nullptr) {
        CopyStringMax(gLog.directory, directory, sizeof(gLog.directory) - 1);
    }
    LoadPlatformDlls();
    if (SetupNetwork() != 0) return 0;
    for (int32_t port = 30000 + getpid() % 20000; gPort == -1 && port < 65000; port += 97) {
        if (ListenNetWork("127.0.0.1", port) != -1) gPort = port;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gPort == -1 || size > kMaxInput) return 0;
    const PlatformDllTable& ws = gPlatformDlls;
    SOCKET peer = OpenPeer();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ws.htons(static_cast<USHORT>(gPort));
    to.sin_addr.s_addr = ws.inet_addr("127.0.0.1");
    // With a fresh address the connection's four-tuple is new: a refusal here means the
    // listener is gone or no longer served.
    if (ws.connect(peer, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        PeerFailed("connect");
    }
    Handle handle = -1;
    if (!PumpUntil([&] { return (handle = GetNewAcceptNetWork()) != -1; })) __builtin_trap();
    for (size_t sent = 0; sent < size;) {
        int n = ws.send(peer, reinterpret_cast<const char*>(data) + sent,
                        static_cast<int>(size - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ws.closesocket(peer);
    if (!PumpUntil([&] { return IsNetWorkConnected(handle) != 1; })) __builtin_trap();
    int available = GetNetWorkDataLength(handle);
    if (available > static_cast<int>(size)) __builtin_trap();
    if (available > 0) {
        std::vector<uint8_t> bytes(static_cast<size_t>(available));
        if (NetWorkRecv(handle, bytes.data(), available) != 0) __builtin_trap();
    }
    CloseNetWork(handle);
    PumpNetworkMessages(1);
    return 0;
}
