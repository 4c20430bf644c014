// The entry point of ruvo_bridge, the desktop program.
#include "desktop/desktop_face.h"

int main(int argc, char** argv)
{
    return ruvo_main(argc, argv);
}
