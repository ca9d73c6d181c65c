// A random loopback address 127.x.y.z, so that tests running side by side never
// meet on the unit's port.
#pragma once
#include <random>
#include <string>

namespace testsupport {

inline std::string RandomLoopbackAddress() {
    thread_local std::mt19937 gen(std::random_device{}());
    std::uniform_int_distribution<int> part(1, 254);
    return "127." + std::to_string(part(gen)) + "." + std::to_string(part(gen)) + "." + std::to_string(part(gen));
}

}  // namespace testsupport
