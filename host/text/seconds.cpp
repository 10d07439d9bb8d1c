#include "text/seconds.h"

namespace rawout {

std::string seconds(std::chrono::milliseconds duration) {
  return std::to_string(duration.count() / 1000) + "." +
         std::to_string(1000 + duration.count() % 1000).substr(1);
}

std::string secondsAsGiven(std::chrono::milliseconds duration) {
  std::string text = seconds(duration);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') {
    text.pop_back();
  }
  return text + " s";
}

}  // namespace rawout
