#include "apps/ombrel/OmbrelCommand.h"

int main(int argc, char** argv) { return ombrel::RunOmbrel(argc, argv); }
