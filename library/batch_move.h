// The batch copier of the data module: copies one table into another.
#pragma once

namespace vemla {

class Table;

class BatchMove {
 public:
  // The destination (named by its location and name; it must be closed) is created, or replaced when it
  // exists, with the source's columns and all its rows as last posted, memo and blob values included. An
  // error when both name the same file.
  void copy(Table& source, Table& destination);
};

}  // namespace vemla
