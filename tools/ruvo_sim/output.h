// The simulator's event lines on standard output and the optional record file of received messages.
#pragma once

#include <QString>

// Writes one event line ("listening 8002", "recv {...}") and flushes it at once,
// so that a test reading the pipe sees every event as it happens.
void print_event(const QString& line);

// The same with a tag in front; newlines in the text become \n so that one event stays one line.
void print_event(const char* tag, const QString& text);

// Notes for a human (not part of the line protocol) go to standard error.
void print_note(const QString& text);

// Opens (truncates) the file that receives a copy of every received message; false if it cannot.
bool open_record(const QString& file_name);

// Appends one received message to the record file, if one is open.
void record_message(const char* tag, const QString& text);
