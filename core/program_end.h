// How the program ended and after how long it ran: one log entry at the end of every run, so that
// a log tells a stop from a crash.
#pragma once

#include <QString>

enum class Program_end : unsigned char {
    exit_button,   // "Выйти", the exit dialog closed by itself
    window_closed, // the window system's close request (Alt+F4, the title bar's button)
    exit_at_once,  // "Выйти немедленно" in the exit dialog
    sigterm,
    sigint,
    start_failed,  // the start-up gave up (a configuration error, a port it cannot open)
    fatal_error,
};

// Starts the clock of a run, with no reason noted and no entry written yet; called once the log is open.
void note_program_start();
// Remembers why the program is ending; the first reason given stands.
void note_program_end(Program_end how);
// Writes the one entry of the end, by the process exit code: after a clean run the reason noted,
// after a failed start-up or another failure that; later calls write nothing.
void log_program_end(int exit_code);
// The entry's text for a run of the given length.
QString program_end_text(Program_end how, qint64 run_ms);
