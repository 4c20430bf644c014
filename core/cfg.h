// The configuration file: the program's global settings, read once at start.
#pragma once

#include "core/client_allow_list.h"
#include "core/ws_tls_settings.h"

#include <QHostAddress>
#include <QString>

extern const char default_cfg_fname[];
// The configuration file in use; after --cfg= it points into the argument itself.
extern const char* cfg_fname;

extern QString ws_url;
extern QString ws_login;
extern QString ws_password_hash;
extern int ws_connect_timeout;
extern int ws_auth_timeout;
extern int ws_reconnect_delay;
extern int ws_devlist_period;
extern int ws_devlist_timeout;
extern int ws_sdata_timeout;
extern QString devices_fname;
extern unsigned default_max_frame;
extern int tcp_interframe_delay;
// How long a Modbus TCP request waits for its answer from the modem, in milliseconds.
extern int modbus_timeout;
// Seconds within which keepalive finds a client that vanished without a word; 0 turns it off.
extern int tcp_keepalive;
// Modbus TCP connections one modbus_tcp port serves at once.
extern int modbus_max_clients;
const int max_modbus_max_clients = 32;
// The one Modbus TCP port that routes by unit id to every modem (the units of the devices file);
// 0 when the file opens none.
extern quint16 modbus_site_port;
// The levels of trace_ws and trace_tcp, in the order of their words ("err", "bad_frames", "all"),
// tested as bits: trace_bad_frames dumps a message found bad, trace_all logs all traffic.
enum Trace_level : unsigned char { trace_err = 0, trace_bad_frames = 0x01, trace_all = 0x02 };
extern const char* const trace_level_words[3];
extern unsigned char trace_ws;
extern unsigned char trace_tcp;
// The "language" key: "en", "ru", or empty when the file does not choose.
extern QString cfg_language;
// Frames that one data command may carry, each for another modem; 1 sends every frame alone.
extern int ws_batch_max;
// "ADDRESS:PORT" of the Prometheus metrics endpoint; empty when metrics are off.
extern QString metrics_listen;

// Who may reach the modem ports and how the wss:// link is secured; all optional.
extern QHostAddress tcp_listen_address;  // default: all addresses
extern Client_allow_list tcp_allow;      // empty: every client is let in
extern Ws_tls_settings ws_tls;

// Whether the code names one of the program's languages, "ru" or "en" (app/language.h uses them).
bool is_language(const QString& code);

// Reads the configuration file; throws Err naming the file, line and character on any error. Every
// key the file does not give takes its default.
void load_cfg(const QString& file_name);
