#pragma once
// The SGI writer shared by the tests and the stage generator lives in tools/.
#include "tools/SgiWriter.h"
