#include "app/GlutApp.h"
#include "platform/StageSettings.h"
#include "programs/LiveShow.h"

int main(int argc, char** argv) {
    LiveShow show(StageSettings::fromEnvironment(nullptr).overlayAtStart);
    return runInstrument(argc, argv, &show);
}
