#include "app/GlutApp.h"

int main(int argc, char** argv) { return runInstrument(argc, argv); }
