#pragma once
// The SGI writer shared by the tests and the stage generator lives in tools/;
// this name stays for test code that includes it from here.
#include "tools/SgiWriter.h"
