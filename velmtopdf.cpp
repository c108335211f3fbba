#include "cli/Filter.h"

int main(int argc, char** argv) { return velm::RunFilter(argc, argv); }
