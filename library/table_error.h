// The one error type of the table engine: its text is what the windows show to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace vemla {

class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vemla
