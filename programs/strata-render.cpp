#include "programs/RenderCommand.h"

int main(int argc, char** argv) { return runRenderCommand(argc, argv); }
