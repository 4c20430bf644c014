// HTTP clients that send a request head one byte a second, each opening a new connection when the
// server closes its last: what a slow or hostile client does to the metrics endpoint. Their own
// thread and blocking sockets, so they go on dribbling while the test or benchmark waits.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class Slow_http_clients {
public:
    Slow_http_clients(quint16 port, int count) : port(port), clients(count)
    {
        worker = std::thread([this] { run(); });
    }
    ~Slow_http_clients()
    {
        stopping = true;
        worker.join();
        for (const Client& c : clients)
            if (c.socket >= 0)
                close(c.socket);
    }
    Slow_http_clients(const Slow_http_clients&) = delete;
    Slow_http_clients& operator=(const Slow_http_clients&) = delete;

    // Connections the server has closed so far, as the clients last looked.
    int closed() const { return closed_count; }

    // Whether every client is connected and has sent at least this many bytes of its head.
    bool each_sent(size_t bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Client& c : clients)
            if (c.socket < 0 || c.sent < bytes)
                return false;
        return true;
    }

    // Whether the server has closed none of the connections: looked at now, not at the next byte.
    bool none_closed()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Client& c : clients)
            if (c.socket < 0 || closed_by_server(c.socket))
                return false;
        return closed_count == 0;
    }

private:
    int open_one() const
    {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (s >= 0 && connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
            return s;
        if (s >= 0)
            close(s);
        return -1;
    }

    // One byte more of each client's endless head; a client the server closed starts anew.
    // Whether the server ended the connection: an end of data, an answer or a reset.
    static bool closed_by_server(int s)
    {
        char spare;
        const ssize_t got = recv(s, &spare, 1, MSG_DONTWAIT);
        return got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }

    struct Client {
        int socket = -1;
        size_t sent = 0;
    };

    void dribble(Client& c)
    {
        static const char head[] = "GET /metrics HTTP/1.1\r\nX-Slow: ";
        if (c.socket >= 0 && closed_by_server(c.socket)) {
            close(c.socket);
            c = Client();
            ++closed_count;
        }
        if (c.socket < 0)
            c.socket = open_one();
        const char byte = c.sent < sizeof head - 1 ? head[c.sent] : 'x';
        if (c.socket >= 0 && send(c.socket, &byte, 1, MSG_NOSIGNAL) == 1)
            ++c.sent;
    }

    void run()
    {
        while (!stopping) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (Client& c : clients)
                    dribble(c);
            }
            for (int i = 0; i < 20 && !stopping; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    const quint16 port;
    std::mutex mutex;
    std::vector<Client> clients;
    std::atomic<bool> stopping{false};
    std::atomic<int> closed_count{0};
    std::thread worker;
};
