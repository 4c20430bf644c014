// The faults that the simulator can be told to commit, and the reading of "fault ..." commands.
#pragma once

#include "command_words.h"
#include "uplink.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

// How the next data answers report the append status: as they should, refused (status false),
// for another EUI, with two elements, with an empty array, or without the field at all.
enum class Append_fault { none, refused, wrong_eui, two, empty, missing };
// How the answer to a data command of several elements is spoiled: the last element left out, or
// the first two swapped. An answer of one element is left alone.
enum class Batch_fault { none, short_answer, reordered };

struct Faults {
    int close_after = 0;   // received messages left before the connection is closed; 0 = never
    bool close_by_abort = false;   // end that connection abruptly instead of a normal close
    QSet<QString> no_answer;
    QHash<QString, int> delay_ms;
    QHash<QString, std::optional<QString>> reject;   // command → err_string, if any
    Append_fault append_status = Append_fault::none;
    Batch_fault batch_answer = Batch_fault::none;
    Uplink_fault uplink = Uplink_fault::none;
    QHash<quint64, int> modem_delay_ms;   // modem → extra time its device takes to answer
    QHash<quint64, int> repeat_next;      // modem → ms after which each packet of its next answer comes again
    QHash<quint64, int> lose_next;        // modem → number of the packet of its next answer left out
    QHash<quint64, int> copy_next;        // modem → ms after its next answer until it comes again, under new fcnts
    QHash<quint64, int> replay_next;      // modem → ms after its next answer until all of it comes again, same fcnts
    QHash<quint64, int> lose_every;       // modem → N: its Nth, 2Nth... answer from now on is not sent; 0 = none
    QHash<quint64, int> answers_counted;  // modem → its answers since lose_every was set
};

// Applies a "fault NAME ARGS..." command; returns the reason when it is not understood, else an empty string.
QString apply_fault(Faults& faults, const Command_words& command);
