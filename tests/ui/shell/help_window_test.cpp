// Help: every context has a page of the bundled manual, every link of every page leads to a page (and anchor)
// that exists, every page can be reached from the contents, and F1 opens the page of the focused control's
// nearest context, from the main window, its menus and its dialogs.
#include "help_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <map>
#include <set>

#include "data_controls.h"
#include "help_pages.h"
#include "null_device.h"
#include "program.h"

namespace vemla {
namespace {

QString page_text(const QString& file) {
  QFile page(QStringLiteral(":/vemla/help/") + file);
  if (!page.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(page.readAll());
}

QStringList help_files() {
  load_help_pages();
  return QDir(QStringLiteral(":/vemla/help")).entryList({QStringLiteral("*.html")}, QDir::Files);
}

TEST(HelpPages, EveryContextHasAPageWithATitle) {
  const std::vector<int> expected{10, 70, 80, 100, 160, 180, 190, 220, 230, 240, 460};
  EXPECT_EQ(help_contexts(), expected);
  std::set<QString> files;
  for (int context : expected) {
    const QUrl url = help_page(context);
    ASSERT_EQ(url.scheme(), "qrc");
    const QString file = url.fileName();
    files.insert(file);
    const QString text = page_text(file);
    ASSERT_FALSE(text.isEmpty()) << context;
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("<title>[^<]+</title>")))) << context;
    EXPECT_FALSE(text.contains(QLatin1String("TODO"), Qt::CaseInsensitive)) << context;
  }
  EXPECT_EQ(files.size(), expected.size()) << "a page of its own for each context";
  EXPECT_EQ(help_page(12345), help_page(kGeneralHelp));
}

TEST(HelpPages, EveryLinkResolvesAndEveryPageIsReached) {
  const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
  std::map<QString, QStringList> links;  // page -> pages it links to
  for (const QString& file : help_files()) {
    const QString text = page_text(file);
    for (const QRegularExpressionMatch& match : link.globalMatch(text)) {
      const QString target = match.captured(1);
      if (target.startsWith(QLatin1String("https://www.example.com")) || target.startsWith(QLatin1String("mailto:")))
        continue;
      const QString target_file = target.section(QLatin1Char('#'), 0, 0);
      const QString anchor = target.section(QLatin1Char('#'), 1);
      const QString resolved = target_file.isEmpty() ? file : target_file;
      ASSERT_FALSE(page_text(resolved).isEmpty()) << file.toStdString() << " links to " << target.toStdString();
      if (!anchor.isEmpty()) {
        EXPECT_TRUE(page_text(resolved).contains(QStringLiteral("id=\"%1\"").arg(anchor)))
            << file.toStdString() << " links to " << target.toStdString();
      }
      links[file] << resolved;
    }
  }
  size_t count = 0;
  for (const auto& [page, targets] : links) count += static_cast<size_t>(targets.size());
  EXPECT_GE(count, 50u);
  std::set<QString> reached{QStringLiteral("contents.html")};
  std::vector<QString> todo{QStringLiteral("contents.html")};
  while (!todo.empty()) {
    const QString page = todo.back();
    todo.pop_back();
    for (const QString& next : links[page])
      if (reached.insert(next).second) todo.push_back(next);
  }
  for (const QString& file : help_files()) EXPECT_TRUE(reached.count(file)) << file.toStdString();
  EXPECT_GE(help_files().size(), 11);
}

class HelpKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { program.form1.show(); }

  // The context of the page shown after F1 on `widget`.
  int f1_on(QWidget* widget) {
    QTest::keyClick(widget, Qt::Key_F1);
    HelpWindow& help = program.shell.help_window();
    EXPECT_TRUE(help.isVisible());
    for (int context : help_contexts())
      if (help_page(context) == help.page()) return context;
    return -1;
  }

  Program program{std::make_unique<NullDevice>(500)};
};

TEST_F(HelpKeyTest, F1OpensTheNearestContext) {
  TForm1& f = program.form1;
  EXPECT_EQ(f1_on(f.RzCheckList1), 70);
  EXPECT_EQ(f1_on(f.ComboBox1), 70);
  EXPECT_EQ(f1_on(f.RzDBLineEdit1), 220) << "from its panel";
  EXPECT_EQ(f1_on(f.Label17), 220);
  EXPECT_EQ(f1_on(f.Reset), 100) << "from the playlist group";
  EXPECT_EQ(f1_on(f.DBMemo1), 160) << "no context up to the window's";
  EXPECT_EQ(f1_on(f.Database1), 80);
  EXPECT_EQ(f1_on(f.Help1), 160);
  program.form2.show();
  EXPECT_EQ(f1_on(program.form2.CheckBox1), 230);
  program.form2.hide();
  EXPECT_EQ(f1_on(program.shell.help_window().Browser), 10);
}

TEST_F(HelpKeyTest, HelpOverAModalDialogCanBeUsed) {
  bool usable = false;
  QTimer::singleShot(0, &program.form2, [&] {
    QTest::keyClick(program.form2.CheckBox1, Qt::Key_F1);
    HelpWindow& help = program.shell.help_window();
    usable = help.isVisible() && help.parentWidget() == &program.form2;
    program.form2.BitBtn1->click();
  });
  program.form2.exec();
  EXPECT_TRUE(usable);
  // Outside the dialog the window belongs to the main window again.
  program.shell.show_help(kGeneralHelp);
  EXPECT_EQ(program.shell.help_window().parentWidget(), &program.form1);
}

TEST_F(HelpKeyTest, HelpMenuAndNavigation) {
  program.form1.QuickStart1->trigger();
  HelpWindow& help = program.shell.help_window();
  EXPECT_EQ(help.page(), help_page(kMainWindowHelp));
  EXPECT_FALSE(help.Back->isEnabled());
  program.form1.General1->trigger();
  EXPECT_EQ(help.page(), help_page(kGeneralHelp));
  EXPECT_TRUE(help.windowTitle().startsWith(QLatin1String("Vemla Help")));
  help.Back->click();
  EXPECT_EQ(help.page(), help_page(kMainWindowHelp));
  help.Forward->click();
  EXPECT_EQ(help.page(), help_page(kGeneralHelp));
  program.shell.show_help(230);
  help.Contents->click();
  EXPECT_EQ(help.page(), help_page(kGeneralHelp));
}

}  // namespace
}  // namespace vemla
