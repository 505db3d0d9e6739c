// The user's manual bundled in the program as HTML pages, one per help context, and how a control finds its
// context: its own "helpContext" property or the nearest one up its parents.
#pragma once

#include <QString>
#include <QUrl>
#include <vector>

class QObject;

namespace vemla {

inline constexpr int kGeneralHelp = 10;      // the manual's contents
inline constexpr int kMainWindowHelp = 160;  // quick start and the main window

// Makes the pages compiled into the program available (once; later calls do nothing).
void load_help_pages();

// The contexts that have a page, in increasing order.
std::vector<int> help_contexts();

// The page of a context (qrc:/vemla/help/NAME.html); an unknown context gives the contents page.
QUrl help_page(int context);

// The help context of a control: its own, else its nearest parent's, else the main window's.
int help_context_of(const QObject* object);

}  // namespace vemla
