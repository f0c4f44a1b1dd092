#include "app/GlutApp.h"
#include "platform/Settings.h"
#include "programs/LiveShow.h"

int main(int argc, char** argv) {
    LiveShow show(settings().overlayHint && settings().overlayAtStart);
    return runInstrument(argc, argv, &show);
}
