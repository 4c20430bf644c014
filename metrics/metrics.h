// Prometheus metrics of the link, every served modem and the command queue, served on metrics_listen;
// the reporting calls are lock-free and do nothing while metrics are off.
#pragma once

#include <QTimer>
#include <QtGlobal>
#include <cstddef>
#include <memory>

class Http_endpoint;
class Metrics;

// The per-modem calls and the queue's are made by the exchange thread only.
namespace metrics {

enum class Client_error { overflow, refused, packet, read, header };
// An answer on a raw port that may be past its message's guard time (ws_data_timeout + 60 s):
// with no message owed, after the last was given up; or taken for another client's message than
// the one given up just before.
enum class Late_answer { after_given_up, after_other_client };
// What became of a request on the site port: handed to a modem's line, answered 0x0A at once for
// want of a route, or a broadcast sent nowhere.
enum class Site_result { routed, no_route, broadcast };
// How a Modbus request to the modem was answered: over the radio, with the answer of an identical
// read it was merged into, or from the read cache.
enum class Modbus_answer { radio, merged, cache };

// With cfg_mutex held, wherever ws_flags, tcp_servers or clients_number change: copies the link
// state and the main window's three counters for the next scrape, which then takes no lock of the
// program's but the snapshot's own.
void publish_state();
// With cfg_mutex held, where a served modem's port gains or loses a client: how many it has now,
// for the status page.
void port_clients(quint64 eui, int count);

// A connection attempt to the RUVO-LoRa server begins.
void link_connecting();
// The link, or the attempt to make it, ended by an error; a reconnect follows.
void link_failed();
// Commands joined (positive) or left (negative) the queue of commands waiting to be sent.
void queued(int change);
// The link dropped every waiting command.
void queue_emptied();
// A device-list command went out: the answer clock starts.
void command_sent();
// A data command went out with a frame for the modem: counts it and starts the answer clock.
void frame_sent(quint64 eui, size_t bytes);
// The server accepted or refused a frame for the modem; a refusal costs the client its exchange.
void frame_answered(quint64 eui, bool accepted);
// The answer to the command sent last was accepted.
void answer_accepted();

// The modem got, or lost, its TCP server: its series appear, or go.
void modem_added(quint64 eui, quint16 port);
void modem_removed(quint64 eui);
void client_connected(quint64 eui);
// A connection to the modem's port came from an address outside tcp_allow.
void client_refused(quint64 eui);
void client_error(quint64 eui, Client_error kind);
// An uplink payload of this many bytes came from the modem.
void uplink_received(quint64 eui, size_t bytes);
// A whole answer of the modem was written to its client.
void answer_to_client(quint64 eui);
void late_answer(quint64 eui, Late_answer kind);
void site_request(Site_result result);
void modbus_answered(quint64 eui, Modbus_answer how, size_t count = 1);

}  // namespace metrics

// Serves /metrics and the status page (/) on metrics_listen while it lives, from a thread of its own; made before the exchange thread starts and
// destroyed after it ended. Without the key nothing is opened; a port that cannot be bound is
// logged and tried again every few seconds while the program goes on, counting all the same.
class Metrics_endpoint {
public:
    Metrics_endpoint();
    ~Metrics_endpoint();
    Metrics_endpoint(const Metrics_endpoint&) = delete;
    Metrics_endpoint& operator=(const Metrics_endpoint&) = delete;

    bool serving() const { return listening; }

private:
    // Opens the port and serves the metrics; false with the reason when the port cannot be bound.
    bool serve(QString& why);

    std::unique_ptr<Metrics> metrics;
    QTimer bind_retry;
    // Made with the metrics, listening once the port could be bound.
    std::unique_ptr<Http_endpoint> http;
    bool listening = false;
};
