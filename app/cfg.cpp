// The configuration file: the program's global settings, read once at start.
#include "app/cfg.h"

#include "common/err.h"

const char default_cfg_fname[] = "ruvo_bridge.cfg";
const char* cfg_fname = default_cfg_fname;
const QString DEFAULT_DEVICES_FNAME = QStringLiteral("devices.cfg");

QString ws_url;
QString ws_login;
QString ws_password_hash;
int ws_connect_timeout = 10000;
int ws_auth_timeout = 3000;
int ws_reconnect_delay = 3000;
int ws_devlist_period = 10000;
int ws_devlist_timeout = 3000;
int ws_sdata_timeout = 3000;
QString devices_fname;
unsigned default_max_frame = 51;
int tcp_interframe_delay = 15;
unsigned char trace_ws = 1;
unsigned char trace_tcp = 1;

void load_cfg(const QString& file_name)
{
    throw Err(QStringLiteral("Не найден файл «%1».").arg(file_name));
}
