// One client message on its way to the modem.
#pragma once

#include "link/query.h"

#include <cstddef>

// One client message on its way to the modem: a queue record followed by its data area
// (max_frame + 1 bytes), in one allocation. The link fills in how it is sent when it is posted.
struct Frame : Query {
    unsigned char* data_end;
    size_t size;

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }

    // Allocates without throwing; a failure becomes an Err.
    static Frame* alloc(size_t size, Link_port& requester, quint64 eui);
    // A null frame is allowed.
    static void free(Frame* frame);
};
