// The arguments of `vemla`: a library named by path or URL, --help and --version, and the mistakes that end the
// start with a usage error.
#include "command_line.h"

#include <gtest/gtest.h>

namespace vemla {
namespace {

const QDir kBase(QStringLiteral("/home/user/music"));

CommandLine parse(QStringList arguments) {
  arguments.prepend(QStringLiteral("vemla"));
  return parse_command_line(arguments, kBase);
}

TEST(CommandLineTest, NothingNamedStartsWithoutALibrary) {
  const CommandLine line = parse({});
  EXPECT_TRUE(line.error.isEmpty());
  EXPECT_FALSE(line.help);
  EXPECT_FALSE(line.version);
  EXPECT_TRUE(line.library.isEmpty());
}

TEST(CommandLineTest, LibraryIsMadeAbsolute) {
  EXPECT_EQ(parse({QStringLiteral("Set.mb")}).library, QStringLiteral("/home/user/music/Set.mb"));
  EXPECT_EQ(parse({QStringLiteral("../Lib/./Set.mb")}).library, QStringLiteral("/home/user/Lib/Set.mb"));
  EXPECT_EQ(parse({QStringLiteral("/srv/Set.mb")}).library, QStringLiteral("/srv/Set.mb"));
}

TEST(CommandLineTest, FileUrlNamesALocalLibrary) {
  EXPECT_EQ(parse({QStringLiteral("file:///srv/My%20Set.mb")}).library, QStringLiteral("/srv/My Set.mb"));
  const CommandLine remote = parse({QStringLiteral("file://server/share/Set.mb")});
  EXPECT_TRUE(remote.library.isEmpty());
  EXPECT_FALSE(remote.error.isEmpty());
}

TEST(CommandLineTest, DashedNameAfterDoubleDash) {
  const CommandLine line = parse({QStringLiteral("--"), QStringLiteral("-odd.mb")});
  EXPECT_TRUE(line.error.isEmpty());
  EXPECT_EQ(line.library, QStringLiteral("/home/user/music/-odd.mb"));
}

TEST(CommandLineTest, HelpAndVersionInBothSpellings) {
  for (const char* help : {"--help", "-h"}) EXPECT_TRUE(parse({QString::fromLatin1(help)}).help) << help;
  for (const char* version : {"--version", "-v"})
    EXPECT_TRUE(parse({QString::fromLatin1(version)}).version) << version;
}

TEST(CommandLineTest, HelpIsSeenBesideAMistake) {
  // The first look happens before the toolkit has taken its own options out.
  const CommandLine line = parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--help")});
  EXPECT_TRUE(line.help);
}

TEST(CommandLineTest, MistakesAreUsageErrors) {
  EXPECT_FALSE(parse({QStringLiteral("--bogus")}).error.isEmpty());
  const CommandLine two = parse({QStringLiteral("a.mb"), QStringLiteral("b.mb")});
  EXPECT_TRUE(two.error.contains(QStringLiteral("one library")));
  EXPECT_TRUE(two.library.isEmpty());
}

TEST(CommandLineTest, VersionAndUsageTexts) {
  EXPECT_EQ(version_text(), QStringLiteral("vemla 1.25"));
  EXPECT_TRUE(usage_text().startsWith(QStringLiteral("Usage: vemla [OPTION] [LIBRARY.mb]\n")));
  EXPECT_TRUE(usage_text().contains(QStringLiteral("--version")));
}

}  // namespace
}  // namespace vemla
