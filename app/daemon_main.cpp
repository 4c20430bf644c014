// The entry point of ruvo_bridged, the daemon: the program without a window, for a service manager.
#include "app/startup.h"

int main(int argc, char** argv)
{
    Daemon_face face;
    return start_program(argc, argv, face);
}
