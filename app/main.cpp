// The program's entry point.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return ruvo_main(argc, argv);
}
