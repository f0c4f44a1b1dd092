#include "input/AlsaQuiet.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace {
void quietAlsaHandler(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void silenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietAlsaHandler); });
}
