#pragma once

// Saves the virtual screen as <dir>/<name>.png when the environment variable
// STRATA_PICTURES names a directory (for looking at what a test drew);
// does nothing otherwise.
void savePictureIfAsked(const char* name);  // saved opaque
