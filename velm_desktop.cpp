#include "app/Windowed.h"
#include "cli/Command.h"

int main(int argc, char** argv) { return velm::RunVelm(argc, argv, velm::RunWindowed); }
