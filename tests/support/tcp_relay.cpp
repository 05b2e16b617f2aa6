// The relay: one thread accepts, one thread per connection moves data both
// ways with poll(), holding each piece until its delay has passed.
#include "tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <deque>

namespace kestova::test {

namespace {

using Clock = std::chrono::steady_clock;

struct Piece {
    Clock::time_point due;
    std::string bytes;
};

bool WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

TcpRelay::TcpRelay(std::string socketPath, int delayMs)
    : m_socketPath(std::move(socketPath))
    , m_delayMs(delayMs)
{
}

TcpRelay::~TcpRelay()
{
    if (m_stop[1] >= 0) {
        const char stop = 0;
        (void)!::write(m_stop[1], &stop, 1);
    }
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        threads.swap(m_threads);
    }
    for (std::thread &t : threads)
        t.join();
    for (const int fd : {m_listen, m_stop[0], m_stop[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool TcpRelay::Start()
{
    if (::pipe(m_stop) != 0)
        return false;
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listen, 16) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Accept(); });
    return true;
}

void TcpRelay::Accept()
{
    const int stop = m_stop[0];
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents)
            return;
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client < 0)
            return;
        std::lock_guard<std::mutex> hold(m_lock);
        m_threads.emplace_back([this, client] { Relay(client); });
    }
}

void TcpRelay::Relay(int client)
{
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof address.sun_path - 1);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int ends[2] = {client, server};
    std::deque<Piece> queues[2]; // [0]: on its way to the server, [1]: to the client
    bool serverSpokeLast = true;
    bool open = true;
    const int stop = m_stop[0];
    while (open || !queues[0].empty() || !queues[1].empty()) {
        int wait = -1;
        const Clock::time_point now = Clock::now();
        for (const auto &queue : queues) {
            if (!queue.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(queue.front().due - now);
                wait = std::max(0, wait < 0 ? int(left.count()) : std::min(wait, int(left.count())));
            }
        }
        pollfd fds[3] = {{client, short(open ? POLLIN : 0), 0}, {server, short(open ? POLLIN : 0), 0}, {stop, POLLIN, 0}};
        if (::poll(fds, 3, wait) < 0 || fds[2].revents)
            break;
        for (int side = 0; side < 2 && open; ++side) {
            if (!fds[side].revents)
                continue;
            char buffer[65536];
            const ssize_t n = ::recv(ends[side], buffer, sizeof buffer, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            if (side == 0 && serverSpokeLast)
                ++m_roundTrips;
            serverSpokeLast = side == 1;
            queues[side].push_back({Clock::now() + std::chrono::milliseconds(m_delayMs), std::string(buffer, size_t(n))});
        }
        for (int side = 0; side < 2; ++side) {
            while (!queues[side].empty() && queues[side].front().due <= Clock::now()) {
                if (!WriteAll(ends[1 - side], queues[side].front().bytes)) {
                    queues[0].clear();
                    queues[1].clear();
                    open = false;
                    break;
                }
                queues[side].pop_front();
            }
        }
    }
    ::close(client);
    ::close(server);
}

} // namespace kestova::test
