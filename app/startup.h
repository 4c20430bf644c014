// The program's start-up, everything the entry point does; returns the process exit code.
#pragma once

#include "core/exit_codes.h"

int ruvo_main(int argc, char** argv);
