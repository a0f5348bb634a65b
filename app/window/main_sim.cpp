// mirantos-sim: the same program on the built-in simulated board.
#include "BoardFactory.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    return RunMirantos(argc, argv, [] { return mirantos::MakeSimDriver(); });
}
