// State shared by the GUI thread and the exchange thread.
#include "core/shared.h"

QMutex cfg_mutex;
Devices_in_cfg devices_in_cfg;
QMap<unsigned long, Devices_in_cfg::iterator> tcp_ports;
QVector<Device_on_lora> devices_on_lora;
QMap<unsigned long, Tcp_server*> tcp_servers;
QMap<unsigned long, Port_failure> port_failures;
quint32 clients_number = 0;
unsigned char ws_flags = 0;
