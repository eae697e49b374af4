#include "apps/kivotra/KivotraConsole.h"

int main(int argc, char** argv) { return ombrel::RunKivotra(argc, argv); }
