// The state of the link as the window, the metrics and the service manager's status show it,
// worked out in one place from ws_flags.
#pragma once

#include <QString>

// In the order of the metric's values (ruvo_bridge_link_state: 0, 1, 2).
enum class Link_state : unsigned char { offline = 0, start = 1, online = 2 };

// The state that these ws_flags (core/shared.h) describe.
Link_state link_state(unsigned char flags);
// The state's word: "нет", "старт" or "есть" (translated).
const QString& link_state_word(Link_state state);
