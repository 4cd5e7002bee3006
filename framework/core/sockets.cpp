// The socket layer: network handles in a registry of their own, served by the socket messages
// that their window receives, with whole messages framed by a 32-bit little-endian length.
// Every entry point returns at once while the layer is not set up.
#include "core/sockets.h"

#include <cstdarg>
#include <vector>

#include "core/shell_hooks.h"
#include "core/handle_registry.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/pump_services.h"
#include "core/string_functions.h"
#include "core/threads.h"

namespace {

constexpr int32_t kNetworkHandleKind = 10;
constexpr int32_t kMaxNetworkHandles = 256;
constexpr int32_t kNetworkLogBytes = 2048;
constexpr int32_t kLengthBytes = 4;
constexpr int32_t kReceiveStep = 64 * 1024;
constexpr WORD kWinsockVersion = 0x0202;
constexpr LONG kAcceptedEvents = FD_READ | FD_WRITE | FD_CLOSE;
constexpr char kWindowClass[] = "OrbekNetWork";

constexpr LONG kEventRead = FD_READ, kEventWrite = FD_WRITE, kEventAccept = FD_ACCEPT,
               kEventConnect = FD_CONNECT, kEventClose = FD_CLOSE;

struct NetworkRecord {
    HandleHeader header;
    int32_t deferred;  // read and write events are only noted while set
    int32_t inUse;
    int32_t ipv6;
    int32_t error;  // a receive ring could not grow, or a length field was refused
    int32_t connecting;
    int32_t connected;
    int32_t retireMark;  // with auto-close, the pump retires the handle once not connected
    int32_t announced;   // 0 at accept; 1 once GetNewAcceptNetWork handed it out
    int32_t accepted;    // 1 at accept
    int32_t framing;
    int32_t autoClose;
    SOCKET socket;
    // Receiving: bytes still missing of the current message, the messages, the current
    // message's size and the bytes of completed messages that the reader may take.
    int32_t missing;
    RingBuffer receive;
    int32_t messageSize;
    int32_t available;
    // Sending: the messages, the length field of the one under way, its bytes still owed, and
    // the bytes of that message still to send.
    RingBuffer send;
    uint8_t lengthField[kLengthBytes];
    int32_t lengthOwed;
    int32_t sendRemaining;
    uint8_t peerIPv4[4];
    uint16_t peerIPv6[8];
    uint16_t peerPort;  // network byte order
    int32_t pendingRead;
    int32_t pendingWrite;
};

struct NetworkState {
    HandleRegistry registry;
    int32_t setUp;
    HWND window;
    Handle listenHandle;
    int32_t framingOff;    // new handles without framing
    int32_t autoCloseOff;  // closed handles are not retired by the pump
    int32_t inRecv;
    int32_t inSend;
};

NetworkState gNetwork = {};

const PlatformDllTable& Ws() {
    return gPlatformDlls;
}

NetworkRecord* RecordOf(Handle handle) {
    return reinterpret_cast<NetworkRecord*>(FindHandleRecord(&gNetwork.registry, handle));
}

void Lock() {
    EnterLock(&gNetwork.registry.lock);
}

void Unlock() {
    LeaveLock(&gNetwork.registry.lock);
}

template <class Visit>
void ForEachRecord(Visit visit) {
    for (HandleNode* node = gNetwork.registry.head.next; node != &gNetwork.registry.tail;) {
        HandleNode* next = node->next;
        visit(node->handle, static_cast<NetworkRecord*>(node->data));
        node = next;
    }
}

int TerminateNetworkRecord(HandleHeader* header) {
    auto* r = reinterpret_cast<NetworkRecord*>(header);
    if (r->socket != INVALID_SOCKET) Ws().closesocket(r->socket);
    r->socket = INVALID_SOCKET;
    FreeRingBuffer(&r->receive);
    FreeRingBuffer(&r->send);
    return 0;
}

void InitHandleRecord(NetworkRecord* r, int32_t ipv6) {
    r->inUse = 1;
    r->ipv6 = ipv6;
    r->framing = gNetwork.framingOff != 0 ? 0 : 1;
    r->autoClose = gNetwork.autoCloseOff != 0 ? 0 : 1;
    r->socket = INVALID_SOCKET;
    InitRingBuffer(&r->receive);
    InitRingBuffer(&r->send);
}

void StorePeer(NetworkRecord* r, const void* address) {
    if (r->ipv6 != 0) {
        const auto* in6 = static_cast<const sockaddr_in6*>(address);
        r->peerPort = in6->sin6_port;
        CopyBytes(r->peerIPv6, in6->sin6_addr.s6_addr, sizeof r->peerIPv6);
    } else {
        const auto* in4 = static_cast<const sockaddr_in*>(address);
        r->peerPort = in4->sin_port;
        CopyBytes(r->peerIPv4, &in4->sin_addr.s_addr, sizeof r->peerIPv4);
    }
}

bool MakeAddress(const char* text, int32_t port, sockaddr_in* out) {
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = Ws().htons(static_cast<USHORT>(port));
    out->sin_addr.s_addr = Ws().inet_addr(text);
    return out->sin_addr.s_addr != INADDR_NONE && port >= 0 && port <= 0xFFFF;
}

// Closes the connection of a handle whose peer broke the framing.
void DropConnection(NetworkRecord* r) {
    r->error = 1;
    r->connected = 0;
    Ws().closesocket(r->socket);
    r->socket = INVALID_SOCKET;
}

// Receives up to count bytes into the ring at its end, in two pieces when they reach the end
// of the storage (room for them was reserved); the bytes that arrived.
int32_t ReceiveAtEnd(NetworkRecord* r, int32_t count) {
    RingBuffer& ring = r->receive;
    NormalizeRingBuffer(&ring);
    char* storage = reinterpret_cast<char*>(ring.buffer);
    int32_t first = count < ring.capacity - ring.end ? count : ring.capacity - ring.end;
    int n = Ws().recv(r->socket, storage + ring.end, first, 0);
    if (n <= 0) return 0;
    int32_t got = n;
    if (n == first && count > first) {
        int m = Ws().recv(r->socket, storage, count - first, 0);
        if (m > 0) got += m;
    }
    ring.end += got;
    if (ring.end >= ring.capacity) ring.end -= ring.capacity;
    ring.stored += got;
    r->missing -= got;
    return got;
}

// Receives what has arrived of the current message, the ring growing at most one step ahead
// of the bytes: a length field alone claims no more than a step. The bytes that arrived, or
// -1 when the ring could not grow.
int32_t ReceiveMissing(NetworkRecord* r) {
    int32_t total = 0;
    while (r->missing > 0) {
        int32_t step = r->missing < kReceiveStep ? r->missing : kReceiveStep;
        if (ReserveRingBuffer(&r->receive, step) != 0) return -1;
        int32_t got = ReceiveAtEnd(r, step);
        total += got;
        if (got < step) break;
    }
    return total;
}

// The checks that RecvSocket and SendSocket log alike; the record, or null after the log.
NetworkRecord* UsableRecord(Handle handle, const char* function) {
    NetworkRecord* r = RecordOf(handle);
    if (r == nullptr || r->inUse == 0) {
        EmitLogFormat("有効なネットワークハンドルではありません in %s", function);
        return nullptr;
    }
    if (r->error != 0) {
        EmitLogFormat("このネットワークハンドルにはエラーが発生しています in %s", function);
        return nullptr;
    }
    return r;
}

// Logs the length of a message the handle cannot take and drops the connection; -1.
int RefuseMessage(NetworkRecord* r, uint32_t length) {
    EmitLogFormat(
        "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", length);
    DropConnection(r);
    return -1;
}

int ReceiveMessages(Handle handle) {
    NetworkRecord* r = UsableRecord(handle, "RecvSocket");
    if (r == nullptr) return -1;
    if (r->framing == 0) return 0;
    for (;;) {
        bool arrived = false;
        if (r->missing == 0) {
            uint8_t field[kLengthBytes];
            char* bytes = reinterpret_cast<char*>(field);
            if (Ws().recv(r->socket, bytes, kLengthBytes, MSG_PEEK) != kLengthBytes) break;
            Ws().recv(r->socket, bytes, kLengthBytes, 0);
            uint32_t length =
                static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
                static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
            // A length the handle cannot hold is never trusted: the connection goes.
            if (length > static_cast<uint32_t>(kMaxNetworkMessageBytes)) {
                return RefuseMessage(r, length);
            }
            r->missing = static_cast<int32_t>(length);
            r->messageSize = r->missing;
            arrived = true;
        }
        if (r->missing > 0) {
            int32_t got = ReceiveMissing(r);
            if (got < 0) return RefuseMessage(r, static_cast<uint32_t>(r->messageSize));
            if (got > 0) arrived = true;
        }
        if (arrived && r->missing == 0) r->available += r->messageSize;
        PumpNetworkMessages(0);
        r = RecordOf(handle);
        if (r == nullptr || !arrived || r->missing != 0) break;
    }
    return 0;
}

// Sends from the ring's start, in two pieces when the message wraps; the bytes sent.
int32_t SendFromRing(NetworkRecord* r) {
    RingBuffer& ring = r->send;
    NormalizeRingBuffer(&ring);
    const char* storage = reinterpret_cast<const char*>(ring.buffer);
    int32_t first = r->sendRemaining < ring.capacity - ring.start ? r->sendRemaining
                                                                  : ring.capacity - ring.start;
    int n = Ws().send(r->socket, storage + ring.start, first, 0);
    int32_t sent = n > 0 ? n : 0;
    if (n == first && r->sendRemaining > first) {
        int m = Ws().send(r->socket, storage, r->sendRemaining - first, 0);
        if (m > 0) sent += m;
    }
    ring.start += sent;
    if (ring.start >= ring.capacity) ring.start -= ring.capacity;
    ring.stored -= sent;
    r->sendRemaining -= sent;
    return sent;
}

int SendMessages(Handle handle) {
    NetworkRecord* r = UsableRecord(handle, "SendSocket");
    if (r == nullptr) return -1;
    if (r->send.stored == 0 || r->framing == 0) return 0;
    for (;;) {
        bool sent = false;
        if (r->lengthOwed > 0) {
            int n = Ws().send(
                r->socket,
                reinterpret_cast<const char*>(r->lengthField) + kLengthBytes - r->lengthOwed,
                r->lengthOwed, 0);
            if (n <= 0) break;
            r->lengthOwed -= n;
            sent = true;
            if (r->lengthOwed > 0) break;
        }
        if (r->sendRemaining == 0) {
            r->sendRemaining = r->send.stored;
            for (int32_t i = 0; i < kLengthBytes; ++i) {
                r->lengthField[i] =
                    static_cast<uint8_t>(static_cast<uint32_t>(r->sendRemaining) >> (8 * i));
            }
            int n = Ws().send(r->socket, reinterpret_cast<const char*>(r->lengthField),
                              kLengthBytes, 0);
            if (n <= 0) {
                r->sendRemaining = 0;
                break;
            }
            sent = true;
            if (n < kLengthBytes) {
                r->lengthOwed = kLengthBytes - n;
                break;
            }
        }
        if (SendFromRing(r) > 0) sent = true;
        PumpNetworkMessages(0);
        r = RecordOf(handle);
        if (r == nullptr || !sent || r->sendRemaining != 0 || r->send.stored == 0) break;
    }
    return 0;
}

// The guards that RecvSocket and SendSocket share; true when the handle may be served. An
// event that finds the other handle's transfer under way is kept as pending and served by
// the pump once that transfer ended, so that no connection waits for an event already spent.
bool EnterTransfer(Handle handle, int32_t* guard, int32_t NetworkRecord::*pending) {
    Lock();
    NetworkRecord* r = RecordOf(handle);
    if (r == nullptr || r->header.asyncPendingCount != 0 || r->deferred != 0 || *guard != 0) {
        if (r != nullptr && r->deferred == 0 && *guard != 0) r->*pending = 1;
        Unlock();
        return false;
    }
    *guard = 1;
    PumpNetworkMessages(0);
    return true;
}

// Serves the events that found a transfer under way. Call with the lock held.
void ServePendingTransfers() {
    std::vector<Handle> reads, writes;
    ForEachRecord([&](Handle h, NetworkRecord* r) {
        if (r->deferred != 0) return;
        if (r->pendingRead != 0 && gNetwork.inRecv == 0) reads.push_back(h);
        if (r->pendingWrite != 0 && gNetwork.inSend == 0) writes.push_back(h);
    });
    for (Handle h : reads) {
        if (NetworkRecord* r = RecordOf(h)) r->pendingRead = 0;
        RecvSocket(h);
    }
    for (Handle h : writes) {
        if (NetworkRecord* r = RecordOf(h)) r->pendingWrite = 0;
        SendSocket(h);
    }
}

void LeaveTransfer(int32_t* guard) {
    *guard = 0;
    Unlock();
}

LRESULT CALLBACK NetworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSocketMessage) return HandleSocketMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

int RunNetworkPump() {
    return PumpNetworkMessages(1);
}

bool WinsockComplete() {
    const PlatformDllTable& t = Ws();
    return t.WSAStartup != nullptr && t.WSACleanup != nullptr && t.WSAGetLastError != nullptr &&
           t.WSAAsyncSelect != nullptr && t.socket != nullptr && t.bind != nullptr &&
           t.listen != nullptr && t.accept != nullptr && t.connect != nullptr &&
           t.recv != nullptr && t.send != nullptr && t.closesocket != nullptr &&
           t.htons != nullptr && t.inet_addr != nullptr;
}

// A new handle with its own socket for listening or connecting, or -1 (nothing kept).
Handle OpenHandle(const char* address, int32_t port, sockaddr_in* to) {
    if (!MakeAddress(address, port, to)) return -1;
    Handle handle = IssueHandle(&gNetwork.registry, -1);
    if (handle == -1) return AppendLogText("ネットワークハンドルの作成に失敗しました\n");
    NetworkRecord* r = RecordOf(handle);
    InitHandleRecord(r, 0);
    r->socket = Ws().socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (r->socket == INVALID_SOCKET) {
        NetworkLog("socketに失敗しました");
        RetireHandle(&gNetwork.registry, handle);
        return -1;
    }
    return handle;
}

}  // namespace

int NetworkLog(const char* format, ...) {
    char text[kNetworkLogBytes];
    va_list args;
    va_start(args, format);
    FormatStringArgsN(text, sizeof text, format, args);
    va_end(args);
    int error = Ws().WSAGetLastError != nullptr ? Ws().WSAGetLastError() : 0;
    return EmitLogFormat("ネットワークログ。%s[%d]", text, error);
}

int HandleSocketMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (gNetwork.setUp == 0 || gNetwork.registry.setUp == 0) return 0;
    Lock();
    Handle handle = -1;
    NetworkRecord* r = nullptr;
    ForEachRecord([&](Handle h, NetworkRecord* record) {
        if (handle == -1 && record->socket == static_cast<SOCKET>(wParam)) {
            handle = h;
            r = record;
        }
    });
    if (r == nullptr) {
        AppendLogText("通信エラー No.1\n");
        Unlock();
        return 0;
    }
    LONG event = LOWORD(lParam);
    int result = 1;
    if (r->deferred != 0) {
        if (event == kEventRead) r->pendingRead = 1;
        if (event == kEventWrite) r->pendingWrite = 1;
    } else if (event == kEventRead) {
        RecvSocket(handle);
    } else if (event == kEventWrite) {
        SendSocket(handle);
    } else if (event == kEventAccept) {
        result = AcceptNetWork();
    } else if (event == kEventConnect) {
        // A failed connect ends like a lost connection, with the event's error in the log.
        r->connecting = 0;
        r->connected = HIWORD(lParam) == 0 ? 1 : 0;
        if (r->connected == 0) {
            SetLastError(HIWORD(lParam));
            NetworkLog("connectに失敗しました");
        }
    } else if (event == kEventClose) {
        r->connected = 0;
        r->retireMark = 0;
    }
    Unlock();
    return result;
}

int PumpNetworkMessages(int32_t retireFinished) {
    if (gNetwork.setUp == 0 || gNetwork.window == nullptr) return 0;
    // During the shutdown the registry is gone before the window's last messages.
    bool locked = gNetwork.registry.setUp != 0;
    if (locked) Lock();
    if (locked && retireFinished == 1) {
        std::vector<Handle> finished;
        ForEachRecord([&](Handle h, NetworkRecord* r) {
            if (r->inUse != 0 &&
                (r->error != 0 || (r->connected == 0 && r->retireMark != 0 && r->autoClose != 0))) {
                finished.push_back(h);
            }
        });
        for (Handle h : finished) RetireHandle(&gNetwork.registry, h);
    }
    MSG msg;
    while (PeekMessageA(&msg, gNetwork.window, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (locked) {
        ServePendingTransfers();
        Unlock();
    }
    return 0;
}

int AcceptNetWork() {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    PumpNetworkMessages(0);
    NetworkRecord* listener = RecordOf(gNetwork.listenHandle);
    if (listener == nullptr) {
        Unlock();
        return -1;
    }
    int32_t ipv6 = listener->ipv6;
    SOCKET listening = listener->socket;
    sockaddr_in6 peer{};  // large enough for either family
    int length =
        ipv6 != 0 ? static_cast<int>(sizeof(sockaddr_in6)) : static_cast<int>(sizeof(sockaddr_in));
    Handle handle = IssueHandle(&gNetwork.registry, -1);
    if (handle == -1) {
        // The connection is taken and closed: the accept event returns only after an accept,
        // and the listener must go on serving once handles are free again.
        AppendLogText("accept 用のハンドル作成に失敗しました \n");
        SOCKET refused = Ws().accept(listening, reinterpret_cast<sockaddr*>(&peer), &length);
        if (refused != INVALID_SOCKET) Ws().closesocket(refused);
        Unlock();
        return -1;
    }
    NetworkRecord* r = RecordOf(handle);
    InitHandleRecord(r, ipv6);
    r->connected = 1;
    r->accepted = 1;
    r->socket = Ws().accept(listening, reinterpret_cast<sockaddr*>(&peer), &length);
    if (r->socket == INVALID_SOCKET) {
        NetworkLog("acceptに失敗しました");
        RetireHandle(&gNetwork.registry, handle);
        Unlock();
        return -1;
    }
    StorePeer(r, &peer);
    if (Ws().WSAAsyncSelect(r->socket, gNetwork.window, kSocketMessage, kAcceptedEvents) ==
        SOCKET_ERROR) {
        NetworkLog("WSAAsyncSelectのエラー in AcceptNetWork");
        RetireHandle(&gNetwork.registry, handle);
        Unlock();
        return -1;
    }
    Unlock();
    return 0;
}

int RecvSocket(Handle handle) {
    if (gNetwork.setUp == 0) return -1;
    if (!EnterTransfer(handle, &gNetwork.inRecv, &NetworkRecord::pendingRead)) return -1;
    int result = ReceiveMessages(handle);
    LeaveTransfer(&gNetwork.inRecv);
    return result;
}

int SendSocket(Handle handle) {
    if (gNetwork.setUp == 0) return -1;
    if (!EnterTransfer(handle, &gNetwork.inSend, &NetworkRecord::pendingWrite)) return -1;
    int result = SendMessages(handle);
    LeaveTransfer(&gNetwork.inSend);
    return result;
}

int TerminateNetwork() {
    if (gNetwork.setUp == 0) return 0;
    AppendLogText("ネットワーク関連の終了処理を行います \n");
    SetPumpService(kPumpSockets, nullptr);
    ShutdownHandleRegistry(&gNetwork.registry);
    if (gNetwork.window != nullptr && IsWindow(gNetwork.window)) {
        PostMessageA(gNetwork.window, WM_CLOSE, 0, 0);
        PumpNetworkMessages(0);
    }
    UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
    int32_t checkCounter = gNetwork.registry.checkCounter;
    gNetwork = NetworkState{};
    gNetwork.registry.checkCounter = checkCounter;
    Ws().WSACleanup();
    AppendLogText("ネットワーク関連の終了処理は完了しました\n");
    return 0;
}

int SetupNetwork() {
    if (gNetwork.setUp != 0 || !WinsockComplete()) return -1;
    WSADATA data;
    if (Ws().WSAStartup(kWinsockVersion, &data) != 0) return NetworkLog("WSAStartupに失敗しました");
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = NetworkWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExA(&windowClass);
    gNetwork.window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
    if (gNetwork.window == nullptr ||
        SetupHandleRegistry(&gNetwork.registry, HandleKindBits(kNetworkHandleKind),
                            sizeof(NetworkRecord), kMaxNetworkHandles, nullptr,
                            TerminateNetworkRecord, "ネットワーク") != 0) {
        if (gNetwork.window != nullptr) DestroyWindow(gNetwork.window);
        UnregisterClassA(kWindowClass, windowClass.hInstance);
        gNetwork.window = nullptr;
        Ws().WSACleanup();
        return AppendLogText("ネットワーク関連の初期化に失敗しました\n");
    }
    gNetwork.listenHandle = -1;
    gNetwork.setUp = 1;
    SetPumpService(kPumpSockets, RunNetworkPump);
    return 0;
}

Handle ListenNetWork(const char* address, int32_t port) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    if (RecordOf(gNetwork.listenHandle) != nullptr) {
        Unlock();
        return -1;
    }
    sockaddr_in at;
    Handle handle = OpenHandle(address, port, &at);
    if (handle != -1) {
        NetworkRecord* r = RecordOf(handle);
        if (Ws().bind(r->socket, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
            Ws().listen(r->socket, SOMAXCONN) != 0 ||
            Ws().WSAAsyncSelect(r->socket, gNetwork.window, kSocketMessage, kEventAccept) != 0) {
            NetworkLog("listenに失敗しました");
            RetireHandle(&gNetwork.registry, handle);
            handle = -1;
        }
    }
    gNetwork.listenHandle = handle;
    Unlock();
    return handle;
}

Handle ConnectNetWork(const char* address, int32_t port) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    sockaddr_in to;
    Handle handle = OpenHandle(address, port, &to);
    if (handle != -1) {
        NetworkRecord* r = RecordOf(handle);
        r->connecting = 1;
        StorePeer(r, &to);
        bool selected = Ws().WSAAsyncSelect(r->socket, gNetwork.window, kSocketMessage,
                                            kAcceptedEvents | kEventConnect) == 0;
        if (!selected ||
            (Ws().connect(r->socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
             Ws().WSAGetLastError() != WSAEWOULDBLOCK)) {
            NetworkLog("connectに失敗しました");
            RetireHandle(&gNetwork.registry, handle);
            handle = -1;
        }
    }
    Unlock();
    return handle;
}

Handle GetNewAcceptNetWork() {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    // The chain runs from the newest handle: the last match is the oldest.
    Handle found = -1;
    NetworkRecord* oldest = nullptr;
    ForEachRecord([&](Handle h, NetworkRecord* r) {
        if (r->accepted != 0 && r->announced == 0) {
            oldest = r;
            found = h;
        }
    });
    if (oldest != nullptr) oldest->announced = 1;
    Unlock();
    return found;
}

int CloseNetWork(Handle handle) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    NetworkRecord* r = RecordOf(handle);
    if (r == nullptr) {
        Unlock();
        return -1;
    }
    if (r->socket != INVALID_SOCKET) Ws().closesocket(r->socket);
    r->socket = INVALID_SOCKET;
    r->connected = r->connecting = 0;
    r->retireMark = 1;
    if (handle == gNetwork.listenHandle) gNetwork.listenHandle = -1;
    Unlock();
    return 0;
}

int IsNetWorkConnected(Handle handle) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    NetworkRecord* r = RecordOf(handle);
    int result = r == nullptr ? -1 : r->connected != 0 ? 1 : 0;
    Unlock();
    return result;
}

int NetWorkSend(Handle handle, const void* data, int32_t size) {
    if (gNetwork.setUp == 0 || size < 0 || (data == nullptr && size > 0)) return -1;
    Lock();
    NetworkRecord* r = RecordOf(handle);
    if (r == nullptr || r->error != 0 || r->framing == 0 ||
        (r->connected == 0 && r->connecting == 0)) {
        Unlock();
        return -1;
    }
    if (size == 0) {
        Unlock();
        return 0;
    }
    // A send ring that cannot grow has lost its messages: the handle is finished.
    if (ReserveRingBuffer(&r->send, size) != 0) {
        r->error = 1;
        Unlock();
        return -1;
    }
    RingBuffer& ring = r->send;
    int32_t first = size < ring.capacity - ring.end ? size : ring.capacity - ring.end;
    CopyBytes(ring.buffer + ring.end, data, static_cast<size_t>(first));
    CopyBytes(ring.buffer, static_cast<const uint8_t*>(data) + first,
              static_cast<size_t>(size - first));
    ring.end += size;
    if (ring.end >= ring.capacity) ring.end -= ring.capacity;
    ring.stored += size;
    int result = r->connected != 0 ? SendSocket(handle) : 0;
    Unlock();
    return result < 0 ? -1 : 0;
}

int GetNetWorkDataLength(Handle handle) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    NetworkRecord* r = RecordOf(handle);
    int result = r == nullptr ? -1 : r->available;
    Unlock();
    return result;
}

int NetWorkRecv(Handle handle, void* dst, int32_t size) {
    if (gNetwork.setUp == 0) return -1;
    Lock();
    NetworkRecord* r = RecordOf(handle);
    int result = -1;
    if (r != nullptr && size >= 0 && size <= r->available &&
        ReadRingBuffer(&r->receive, dst, size, 0) == 0) {
        r->available -= size;
        result = 0;
    }
    Unlock();
    return result;
}
