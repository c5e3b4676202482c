#pragma once
// A command line that tarvok-run refuses, with the reason.

#include <stdexcept>

namespace tarvok::tools {

class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tarvok::tools
