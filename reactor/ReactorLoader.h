#pragma once
#include <memory>

class Reactor;

// Builds a new reactor from its index (the module's line number in
// modules.db). Returns null for an index without a reactor, or when memory
// for it runs out. The second argument is accepted and ignored.
std::unique_ptr<Reactor> loadReactor(int index, int unused = 0);
