#include "platform/win32/control/pipe_server.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "base/thread.h"
#include "platform/win32/control/pipe_io.h"
#include "platform/win32/control/pipe_name.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

// How long a client has to send its request once connected.
constexpr DWORD kRequestTimeoutMs = 2000;
constexpr DWORD kBufferSize = 65536;

// One client: the reply may come from the GUI thread long after the reading thread ended.
class Connection {
public:
    explicit Connection(HANDLE pipe) : pipe_(pipe) {}
    ~Connection() {
        DisconnectNamedPipe(pipe_);
        CloseHandle(pipe_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    HANDLE pipe() const { return pipe_; }

    void reply(const std::string& line) {
        std::lock_guard lock(m_);
        if (replied_) return;
        replied_ = true;
        writePipe(pipe_, line + "\n", kRequestTimeoutMs);
        FlushFileBuffers(pipe_);
    }

private:
    HANDLE pipe_;
    std::mutex m_;
    bool replied_ = false;
};

struct Security {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{};
};

bool makeSecurity(const std::string& sid, Security& out) {
    // Protected: nothing inherited, only the user.
    const std::wstring sddl = L"D:P(A;;GA;;;" + widen(sid) + L")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &out.descriptor, nullptr)) {
        return false;
    }
    out.attributes.nLength = sizeof(out.attributes);
    out.attributes.lpSecurityDescriptor = out.descriptor;
    return true;
}

HANDLE makeInstance(const std::wstring& name, Security& security, bool first) {
    DWORD mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first) mode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    return CreateNamedPipeW(
        name.c_str(), mode,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, &security.attributes);
}

void serve(const std::shared_ptr<Connection>& connection, RequestHandler handler) {
    const bool started = base::startThread("control", [connection, handler] {
        std::string line;
        if (!readPipeLine(connection->pipe(), line, control::kMaxRequestBytes, kRequestTimeoutMs)) {
            return;
        }
        handler(line, [connection](const std::string& reply) { connection->reply(reply); });
    });
    if (!started) connection->reply(control::errorReply("the instance is out of threads"));
}

}  // namespace

bool startPipeServer(RequestHandler handler, std::string& error) {
    const auto sid = currentUserSid();
    if (!sid) {
        error = "the user's SID is unknown";
        return false;
    }
    auto* security = new Security;  // for every instance the server ever makes
    if (!makeSecurity(*sid, *security)) {
        error = "no security descriptor for " + *sid;
        return false;
    }
    const std::wstring name = widen(controlPipeName(*sid));
    HANDLE first = makeInstance(name, *security, true);
    if (first == INVALID_HANDLE_VALUE) {
        error = controlPipeName(*sid) + ": error " + std::to_string(GetLastError());
        return false;
    }
    return base::startThread("control-listen", [name, security, handler, first] {
        HANDLE pipe = first;
        while (pipe != INVALID_HANDLE_VALUE) {
            if (!connectPipe(pipe)) {
                DisconnectNamedPipe(pipe);
                continue;
            }
            // The next instance is there before this client is answered: a client that comes
            // right after finds the pipe busy at worst, never gone.
            HANDLE next = makeInstance(name, *security, false);
            serve(std::make_shared<Connection>(pipe), handler);
            pipe = next;
        }
        std::fprintf(stderr, "veskosd: the control pipe: error %lu; no more requests\n",
                     GetLastError());
    });
}

}  // namespace platform::win32
