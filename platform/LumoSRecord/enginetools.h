// What tools built with the engine (benchmarks) reach of the running engine beyond its C API.
#pragma once

#include <memory>

namespace kesto {

class Storage;

// The storage of the initialised engine; null when it is not initialised.
std::shared_ptr<Storage> CurrentStorage();

}  // namespace kesto
