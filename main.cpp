#include "cli/Command.h"

int main(int argc, char** argv) { return velm::RunVelm(argc, argv); }
