// Data commands that carry the frames of several modems at once: which queued frames join the
// frame about to be sent, and how many travel together.
#pragma once

#include "core/device_limits.h"

#include <bitset>

struct Frame;
struct Query;

// The append status of every frame of one data command, by its place in the command.
typedef std::bitset<ws_batch_max_limit> Batch_status;

// Moves up to max - 1 queued frames behind first, chained through next in queue order. A frame
// for a modem already in the batch stays queued, so that every modem gets its frames in order;
// the scan ends at the first record that is not a frame, which thus keeps its place.
void gather_batch(Frame& first, Query*& queue_head, Query**& queue_tail, int max);

// Number of records chained from first, first included.
int batch_size(const Query* first);
