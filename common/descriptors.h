// The process's open descriptors: their limit, how many modems fit within it, and one descriptor
// kept in reserve for the log.
#pragma once

#include <QtGlobal>

// Raises the soft limit of open descriptors to the hard limit; returns the limit now in force.
quint64 raise_descriptor_limit();
// The soft limit of open descriptors now in force.
quint64 descriptor_limit();
// How many modems the limit lets listen, leaving room for the program itself and a few clients.
quint64 listeners_within_descriptor_limit();
// How many descriptors the given number of modems can need.
quint64 descriptors_needed(quint64 modems);

// One descriptor held in reserve, so that an entry about a lack of descriptors still reaches
// the log: the logger frees it when it cannot open the log file and takes it back afterwards.
void keep_spare_descriptor();
bool release_spare_descriptor();
