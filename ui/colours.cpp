// The status colours of the user interface: the link state, modems online and modems with clients.
#include "ui/colours.h"

const QColor color_offline(128, 0, 0);
const QColor color_start(0, 0, 128);
const QColor color_online(0, 128, 0);
const QColor color_clients(100, 0, 100);
