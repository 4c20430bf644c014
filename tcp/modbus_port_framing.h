// Modbus TCP on a port: MBAP requests cut from each client's stream by their length field and
// handed to the line of the modem they are for (the port's own modem, or the one the site port
// routes the unit id to), which sends them one at a time as RTU frames; the line's answers return
// as MBAP responses to the client that asked. Each master has its share of the lines.
#pragma once

#include "common/repeated_log.h"
#include "tcp/client_framing.h"
#include "tcp/modbus_line.h"

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <vector>

// Where a request goes: the modem's line and the RTU slave address there; no line: nowhere.
struct Modbus_route {
    Modbus_line* line = nullptr;
    quint8 slave = 0;
};

class Modbus_port_framing : public Client_framing, protected Modbus_front {
public:
    using Client_framing::Client_number;

    // The largest MBAP request: the 7-byte header with the unit id, and a PDU of 253 bytes.
    static constexpr int max_request = 260;
    // Requests one master may have waiting: its share of the line, smaller when more masters are
    // connected; beyond it its requests stay in the kernel, so a master that pipelines is slowed
    // down rather than refused, and cannot crowd the others out.
    static constexpr int max_waiting_per_client = 16;

    Modbus_port_framing(Host& host, quint64 eui, quint16 tcp_port, size_t max_frame);

    // The client's address is kept for the log.
    void begin(Client_number client, QTcpSocket& socket) override;
    // Reads whole requests while the client may have more waiting, then sends the next one if
    // the modem is free.
    void read(Client_number client, QIODevice& socket) override;
    void read_all_done() override;
    bool strict_uplink() const override { return true; }
    bool frames_outlive_client() const override { return true; }
    // The client's requests not yet given to the modem are dropped; the owed one stays owed.
    void client_left(Client_number client, int unsent_dropped) override;
    // The newest master that never asked anything, else the one idle longest; none while all have work.
    Client_number to_displace(const std::vector<Client_number>& clients) override;

protected:
    // The line and slave address the request of the client goes to; no line when it goes nowhere,
    // and the client has then been told (it may have been dropped for it).
    virtual Modbus_route route(Client_number client, const QByteArray& request) = 0;
    // Calls f for every line the port's masters may have requests in.
    virtual void for_each_line(const std::function<void(Modbus_line&)>& f) = 0;
    bool has_masters() const { return !masters.empty(); }
    // The client's address, for the log.
    QString peer_of(Client_number client) const;

private:
    // A connected Modbus master and the part of its next request read so far.
    struct Master {
        Client_number number;
        QString peer;
        QByteArray input;
        // Its requests in the line.
        int waiting = 0;
        // When it last sent a whole request; 0 while it has sent none.
        qint64 last_request = 0;
    };

    // Modbus_front
    void respond(Client_number client, const QByteArray& response, bool answer) override;
    bool has_client(Client_number client) const override;
    void left_line(Client_number client) override;

    Master* master(Client_number number);
    const Master* master(Client_number number) const;
    bool idle(const Master& m);
    int share() const;
    // Moves the complete requests of the master's input to the line while it may have more
    // waiting and is still here. False, with a log entry, when a header is malformed: the client
    // has then to be dropped.
    bool take(Master& m);
    bool enqueue(Master& m, const QByteArray& request);

    std::vector<Master> masters;
    Repeated_log bad_headers;
    Repeated_log busy;
};
