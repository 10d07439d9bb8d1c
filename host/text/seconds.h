// Durations as exporthost writes them.
#pragma once

#include <chrono>
#include <string>

namespace rawout {

// In seconds to the millisecond, as JUnit takes them: "0.125", "5.000".
std::string seconds(std::chrono::milliseconds duration);
// As a user gives them, without the zeros after the point: "5 s", "2.5 s", "0.125 s".
std::string secondsAsGiven(std::chrono::milliseconds duration);

}  // namespace rawout
