#include "ui/DesktopApplication.h"

int main(int argc, char *argv[])
{
    return tessel::DesktopApplication::run(argc, argv);
}
