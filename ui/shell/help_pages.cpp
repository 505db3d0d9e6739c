#include "help_pages.h"

#include <QObject>
#include <QVariant>

#include "look.h"

// Outside any namespace, as Qt's resource initialiser requires.
static void init_help_resources() {
  Q_INIT_RESOURCE(help);
}

namespace vemla {

namespace {

struct Page {
  int context;
  const char* file;
};

// The numbers are the contexts the windows carry (look.h help_context).
constexpr Page kPages[] = {
    {10, "contents.html"},      {70, "categories.html"},  {80, "libraries.html"},  {100, "playlist.html"},
    {160, "quick_start.html"},  {180, "adding.html"},     {190, "exporting.html"}, {220, "playing.html"},
    {230, "options.html"},      {240, "track_info.html"}, {460, "new_library.html"},
};

}  // namespace

std::vector<int> help_contexts() {
  std::vector<int> contexts;
  for (const Page& page : kPages) contexts.push_back(page.context);
  return contexts;
}

void load_help_pages() {
  static const bool loaded = (init_help_resources(), true);
  (void)loaded;
}

QUrl help_page(int context) {
  load_help_pages();
  const char* file = kPages[0].file;
  for (const Page& page : kPages) {
    if (page.context == context) file = page.file;
  }
  return QUrl(QStringLiteral("qrc:/vemla/help/") + QLatin1String(file));
}

int help_context_of(const QObject* object) {
  for (; object; object = object->parent()) {
    bool ok = false;
    const int context = object->property(kHelpContext).toInt(&ok);
    if (ok && context > 0) return context;
  }
  return kMainWindowHelp;
}

}  // namespace vemla
