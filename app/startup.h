// The program's start-up, everything the entry point does; returns the process exit code.
#pragma once

int ruvo_main(int argc, char** argv);
