// A deleted library goes to the desktop's trash, from where the user can bring it back: its track table, its
// store and its category names (with journals a crash left), all of them or none.
#pragma once

#include <QString>
#include <QStringList>

#include "library_files.h"

namespace vemla {

struct TrashResult {
  bool done = false;
  QStringList files;  // what went to the trash, in order
  QString reason;     // why not, when nothing went
};

// Moves the library's files to the trash. A library that does not exist or that another program has open is
// refused with a TableError, before anything moves. When the trash cannot take one of the files, those moved
// before it come back and the result says why; the library is then as it was.
TrashResult move_library_to_trash(const LibraryPath& library);

}  // namespace vemla
