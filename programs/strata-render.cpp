#include "show/OfflineRenderer.h"

int main(int argc, char** argv) { return runOfflineRender(argc, argv); }
