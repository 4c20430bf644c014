// The queue record of the link: the first part of every queued object, the link's own commands
// and the frames of clients alike.
#pragma once

#include <QtGlobal>

class Link_port;
class Ws_connection;

struct Query {
    Query* next;
    void (*send)(Query* q, Ws_connection& connection);
    void (*not_send)(Query* q);
    // The port whose frame it is; null for the link's own commands and for frames whose port
    // no longer hears of them.
    Link_port* requester;
    // The turn of the queue it waits for.
    quint64 round;
    // A client's frame, for the modem eui; the link's own commands have neither.
    bool is_frame;
    quint64 eui;
};
