#include "command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

namespace vemla {

CommandLine parse_command_line(const QStringList& arguments, const QDir& base) {
  CommandLine result;
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  parser.addPositionalArgument(QStringLiteral("library"), QString());
  // Every argument is looked at even when one is wrong, so that --help still helps beside a mistake.
  const bool parsed = parser.parse(arguments);
  result.help = parser.isSet(help);
  result.version = parser.isSet(version);
  if (!parsed) {
    result.error = parser.errorText();
    return result;
  }
  const QStringList names = parser.positionalArguments();
  if (names.size() > 1) {
    result.error = QStringLiteral("Only one library can be opened; %1 were named.").arg(names.size());
    return result;
  }
  if (names.isEmpty()) return result;
  QString name = names.front();
  if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
    QUrl url(name);
    // Only this computer's files: a URL naming another host is refused rather than read as a path here.
    const bool here = url.host().isEmpty() || url.host() == QLatin1String("localhost");
    if (!url.isValid() || !url.isLocalFile() || !here) {
      result.error = QStringLiteral("\"%1\" is not a file on this computer.").arg(name);
      return result;
    }
    url.setHost(QString());
    name = url.toLocalFile();
  }
  if (name.isEmpty()) {
    result.error = QStringLiteral("The library's name is empty.");
    return result;
  }
  result.library = QDir::cleanPath(base.absoluteFilePath(name));
  return result;
}

QString version_text() {
  return QStringLiteral("vemla " VEMLA_VERSION);
}

QString usage_text() {
  return QStringLiteral(
      "Usage: vemla [OPTION] [LIBRARY.mb]\n"
      "Keeps libraries of MPEG audio tracks (MP1, MP2, MP3) and plays them.\n"
      "\n"
      "  LIBRARY.mb     open this library at start; without it Vemla opens the library\n"
      "                 that was open when it last closed (see Track > Options)\n"
      "  -h, --help     show this help and exit\n"
      "  -v, --version  show the version and exit\n"
      "\n"
      "One Vemla runs per user: a second start hands LIBRARY.mb to the running one and\n"
      "raises its window. Media keys and the desktop's sound menu control playing.\n"
      "\n"
      "Environment:\n"
      "  VEMLA_AUDIO    the sound device: alsa (default), alsa:PCM, null, null:SPEED, wav:PATH\n"
      "  VEMLA_HOME     the folder of the settings table (default ~/.local/share/vemla)\n"
      "\n"
      "The options of Qt (-platform, -style, ...) work as in every Qt program.\n");
}

}  // namespace vemla
