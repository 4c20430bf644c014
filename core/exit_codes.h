// Exit codes of the process.
#pragma once

enum {
    exit_ok = 0,
    exit_command_line = 1,
    exit_no_log = 2,
    exit_start_failed = 3,
    // The link found a fault of the program itself and ended it; restarting may help.
    exit_internal_fault = 4,
};
