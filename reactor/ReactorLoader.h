#pragma once

class Reactor;

// Builds a new reactor from its index (the module's line number in
// modules.db). Returns null for an index without a reactor. The caller owns
// the result. The second argument is accepted and ignored.
Reactor* loadReactor(int index, int unused = 0);
