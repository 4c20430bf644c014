// Data commands that carry the frames of several modems at once: which queued frames join the
// frame about to be sent, how many travel together, and the command's text.
#pragma once

#include "core/device_limits.h"

#include <QByteArray>
#include <bitset>

class Fair_queue;
struct Frame;
struct Query;

// The append status of every frame of one data command, by its place in the command.
typedef std::bitset<ws_batch_max_limit> Batch_status;

// Moves up to max - 1 queued frames behind first, chained through next, in the queue's order. A
// frame for a modem already in the batch stays queued, so that every modem gets its frames in
// order; the scan ends at a command of the link itself, which thus keeps its place.
void gather_batch(Frame& first, Fair_queue& queue, int max);

// Number of records chained from first, first included.
int batch_size(const Query* first);

// The send_data_req command carrying first and the frames chained behind it, one element of
// data_list each, written straight into one buffer.
QByteArray sdata_command(Frame& first);
