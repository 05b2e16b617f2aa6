// A TCP relay in front of a server's Unix socket: clients connect to a port
// on 127.0.0.1 and talk to the server through it. It counts the round trips
// (each time a client speaks after the server did) and can hold every piece
// of data for a fixed time in each direction, as a slow network link would.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestova::test {

class TcpRelay
{
public:
    // `socketPath`: the server's Unix socket; `delayMs`: added to every
    // piece of data, each way.
    explicit TcpRelay(std::string socketPath, int delayMs = 0);
    ~TcpRelay();
    TcpRelay(const TcpRelay &) = delete;
    TcpRelay &operator=(const TcpRelay &) = delete;

    // Listens on a free port; false when it cannot.
    bool Start();
    int Port() const { return m_port; }
    // Round trips so far over every connection.
    int RoundTrips() const { return m_roundTrips.load(); }

private:
    void Accept();
    void Relay(int client);

    std::string m_socketPath;
    int m_delayMs;
    int m_listen = -1;
    int m_port = 0;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_roundTrips{0};
    std::thread m_acceptor;
    std::mutex m_lock;
    std::vector<std::thread> m_threads; // one per connection
};

} // namespace kestova::test
