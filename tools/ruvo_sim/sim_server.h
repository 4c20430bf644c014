// The simulated RUVO-LoRa server: WebSocket clients, the three commands, virtual modems, uplinks, noise, faults.
#pragma once

#include "faults.h"
#include "virtual_device.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSslConfiguration>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWebSocketServer>
#include <functional>
#include <optional>

class QWebSocket;

// One element of a data command: the modem and the bytes for its device.
struct Data_element {
    quint64 eui = 0;
    QByteArray message;
    bool known = false;   // the server has this modem
};

struct Sim_settings {
    QString login = QStringLiteral("demo");
    QString password = QStringLiteral("demo");
    int radio_delay_ms = 200;     // from the accepted data command to the device's answer
    int packet_size = 45;         // data bytes per uplink packet
    int packet_gap_ms = 0;        // between the packets of one answer
    int answer_delay_ms = 0;      // before every answer, as a busy server
    int modbus_registers = Modbus_slave::registers_default;
    std::optional<QSslConfiguration> tls;  // wss:// when set
};

class Sim_server : public QObject {
    Q_OBJECT

public:
    explicit Sim_server(const Sim_settings& settings, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    QString listen_error() const { return server.errorString(); }
    quint16 port() const { return server.serverPort(); }

    Faults& faults() { return fault_set; }
    Sim_settings& settings() { return config; }
    void set_noise(int period_ms);

    void set_modems(const QVector<Modem_desc>& descs);
    void add_modem(const Modem_desc& desc);
    bool remove_modem(quint64 eui);

    // Unsolicited traffic to every connected client
    void send_text(const QString& text);
    void send_binary(const QByteArray& bytes);
    void send_rx(const QString& eui, int port, const QString& hex);
    void send_uplink(const QString& eui, const QByteArray& reply, Uplink_fault fault);
    void send_payloads(const QString& eui, const QVector<QByteArray>& payloads);

    void close_all();
    void abort_all();

    // Says goodbye to every client and emits stopped() once they are gone (or after a second)
    void stop();

signals:
    void stopped();

private slots:
    void on_server_new_connection();
    void on_client_text_message(const QString& text);
    void on_client_binary_message(const QByteArray& bytes);
    void on_client_about_to_close();
    void on_client_disconnected();
    void on_noise_timer_timeout();
    void on_server_ssl_errors(const QList<QSslError>& errors);

private:
    using Targets = QVector<QPointer<QWebSocket>>;

    bool counts_to_close(QWebSocket* socket);
    void break_off(QWebSocket* socket);
    void handle_request(QWebSocket* socket, const QString& text);
    void dispatch(QWebSocket* socket, const QString& cmd, const QJsonObject& request);
    void handle_auth(QWebSocket* socket, const QJsonObject& request);
    void handle_send_data(QWebSocket* socket, const QJsonObject& request);
    QString check_data_list(const QJsonObject& request, QVector<Data_element>& elements);
    QString data_answer(const QVector<Data_element>& elements) const;
    QJsonObject append_status_of(const Data_element& element) const;
    // A faulty answer does not let the data reach the devices.
    bool answer_spoiled(int elements) const;
    void answer(QWebSocket* socket, const QString& cmd, const QString& text);
    void deliver(const QPointer<QWebSocket>& socket, quint64 eui, const QByteArray& message);
    bool answer_lost(quint64 eui);
    QVector<QByteArray> lose_packet(quint64 eui, QVector<QByteArray> payloads);
    void send_answer(const Targets& targets, quint64 eui, const QVector<QByteArray>& payloads);
    void send_payloads_to(const Targets& targets, const QString& eui, const QVector<QByteArray>& payloads);
    // The rx messages of the payloads, each with the modem's next fcnt.
    QStringList rx_texts(const QString& eui, const QVector<QByteArray>& payloads);
    // Sends the texts --packet-gap apart, the first first_ms from now; what is due now is sent at once.
    void send_texts(const Targets& targets, const QStringList& texts, int first_ms);
    void run_after(int ms, const std::function<void()>& work);
    void send_to(QWebSocket* socket, const QString& text);
    Targets all_clients() const;
    Virtual_device* find_modem(quint64 eui);
    quint32 next_fcnt(const QString& eui);

    Sim_settings config;
    Faults fault_set;
    QWebSocketServer server;
    QHash<QWebSocket*, bool> clients;   // socket → logged in
    QSet<QWebSocket*> closing;          // sockets whose close handshake began
    QSet<QWebSocket*> broken;           // sockets we broke off (their abort looks like a close)
    QVector<Virtual_device> modems;
    QTimer noise_timer;
    int noise_step = 0;
    quint32 stray_fcnt = 0;
    bool stopping = false;
};
