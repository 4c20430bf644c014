// The control channel: commands from standard input (and --fault) that steer the running simulator.
#pragma once

#include "command_words.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;
class Sim_server;

class Control : public QObject {
    Q_OBJECT

public:
    explicit Control(Sim_server& server, QObject* parent = nullptr);

    // Runs one command line; returns the reason it was refused, or an empty string.
    QString run(const QString& line);

    // Starts reading commands from standard input, one a line, answering each with "ok" or "error <reason>".
    void read_stdin();

    // The texts of --help that describe the commands
    static QString commands_help();

signals:
    void quit_requested();

private slots:
    void on_stdin_activated();

private:
    using Handler = QString (Control::*)(const Command_words&);

    void run_stdin_line(const QByteArray& line);

    QString cmd_clear(const Command_words& c);
    QString cmd_fault(const Command_words& c);
    QString cmd_send(const Command_words& c);
    QString cmd_sendbin(const Command_words& c);
    QString cmd_send_malformed(const Command_words& c);
    QString cmd_send_trailing(const Command_words& c);
    QString cmd_send_duplicate(const Command_words& c);
    QString cmd_send_nested(const Command_words& c);
    QString cmd_rx(const Command_words& c);
    QString cmd_uplink(const Command_words& c);
    QString cmd_uplink_bad(const Command_words& c);
    QString cmd_packets(const Command_words& c);
    QString cmd_modems(const Command_words& c);
    QString cmd_add_modem(const Command_words& c);
    QString cmd_remove_modem(const Command_words& c);
    QString cmd_set(const Command_words& c);
    QString cmd_close(const Command_words& c);
    QString cmd_abort(const Command_words& c);
    QString cmd_quit(const Command_words& c);

    Sim_server& server;
    QHash<QString, Handler> handlers;
    QSocketNotifier* stdin_notifier = nullptr;
    QByteArray stdin_pending;
};
