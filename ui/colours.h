// The status colours of the user interface: the link state, modems online and modems with clients.
#pragma once

#include <QColor>

extern const QColor color_offline;
extern const QColor color_start;
extern const QColor color_online;
extern const QColor color_clients;
