// The entry point: everything happens in VandrelMain.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return app::VandrelMain(argc, argv);
}
