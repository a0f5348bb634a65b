// mirantos: the program on the real board, over libftdi1.
#include "BoardFactory.h"
#include "SingleInstance.h"

int main(int argc, char** argv)
{
    return RunMirantos(argc, argv, [] { return mirantos::MakeUsbDriver(); });
}
