// The state of the link as the window, the metrics and the service manager's status show it,
// worked out in one place from ws_flags.
#include "core/link_state.h"

#include "common/err.h"
#include "core/shared.h"

namespace {

Tr word_offline{TR_TEXT("Main_window", "нет")};
Tr word_start{TR_TEXT("Main_window", "старт")};
Tr word_online{TR_TEXT("Main_window", "есть")};

}  // namespace

Link_state link_state(unsigned char flags)
{
    if (flags & WS_ONLINE)
        return Link_state::online;
    return flags & WS_STARTING ? Link_state::start : Link_state::offline;
}

const QString& link_state_word(Link_state state)
{
    switch (state) {
    case Link_state::online:
        return word_online.tr();
    case Link_state::start:
        return word_start.tr();
    case Link_state::offline:
        break;
    }
    return word_offline.tr();
}
