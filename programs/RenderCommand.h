#pragma once

// The whole strata-render command: arguments, standard output set aside for
// frames and figures, headless context, renderer, outputs, progress and
// figures. Returns the exit status.
int runRenderCommand(int argc, char** argv);
