// The Ormid Guide (F1) and the About box on the offscreen platform: one
// guide window, every page of docs/ it holds shown, a topic for every part
// of the program, the search and its highlight, links between pages, and
// the versions the About box names.
#include <openssl/crypto.h>
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <nlohmann/json.hpp>

#include "desktop/help/frm_help.h"
#include "desktop/main_window/application.h"
#include "desktop/main_window/frm_ormid.h"
#include "setup/startup.h"
#include "tests/gui/gui_support.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace {

QList<FrmHelp*> GuideWindows() {
  QList<FrmHelp*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* help = qobject_cast<FrmHelp*>(w)) found << help;
  return found;
}

QStringList GuideFiles() {
  QFile contents(":/help/contents.txt");
  if (!contents.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(contents.readAll()).split('\n', Qt::SkipEmptyParts);
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Clicks the first link of the page shown whose target is `href`.
bool ClickLink(QTextBrowser& page, const QString& href) {
  for (QTextBlock block = page.document()->begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      if (it.fragment().charFormat().anchorHref() != href) continue;
      QTextCursor at(page.document());
      at.setPosition(it.fragment().position() + 1);
      page.setTextCursor(at);
      page.ensureCursorVisible();
      QTest::mouseClick(page.viewport(), Qt::LeftButton, {}, page.cursorRect(at).center());
      return true;
    }
  return false;
}

}  // namespace

class HelpWindowTest : public QObject, public DesktopFixture {
  Q_OBJECT

 private:
  void Start() {
    QVERIFY(StartDesktop(runner_));
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
  }
  FrmHelp* OpenGuide() {
    w_->mnuGuide->trigger();
    auto guides = GuideWindows();
    if (guides.size() != 1 || !QTest::qWaitForWindowActive(guides.front())) return nullptr;
    return guides.front();
  }

  ScriptedRunner runner_;

 private slots:
  void cleanup() { StopDesktop(); }

  // What the window system and the software centre match: the desktop
  // file the package installs is the id the program gives Qt, the
  // AppStream file launches it, and every window has the program's icon.
  void theProgramIsKnownByItsDesktopFile() {
    DescribeApplication();
    const QString id = ApplicationId();
    QCOMPARE(QGuiApplication::desktopFileName(), id);
    QFile desktop(QString(ORMID_SOURCE_DIR) + "/packaging/" + id + ".desktop");
    QVERIFY2(desktop.open(QIODevice::ReadOnly), qPrintable(desktop.fileName()));
    const QString entry = QString::fromUtf8(desktop.readAll());
    QVERIFY(entry.contains("\nIcon=ormid\n"));
    QFile metainfo(QString(ORMID_SOURCE_DIR) + "/packaging/" + id + ".metainfo.xml.in");
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(metainfo.readAll())
                .contains("<launchable type=\"desktop-id\">@ORMID_APP_ID@.desktop</launchable>"));
    QCOMPARE(QCoreApplication::applicationVersion(), QString::fromStdString(PackageVersionText()));
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(48, 48).isNull());
    Start();
    QVERIFY(!w_->windowIcon().pixmap(48, 48).isNull());
  }

  void f1OpensOneGuideBesideTheMainWindow() {
    Start();
    QCOMPARE(w_->mnuGuide->shortcut(), QKeySequence(Qt::Key_F1));
    QVERIFY(w_->mnuHelp->shortcut().isEmpty());  // the help messages keep their menu item
    QTest::keyClick(w_.get(), Qt::Key_F1);
    QCOMPARE(GuideWindows().size(), 1);
    FrmHelp* guide = GuideWindows().front();
    QVERIFY(QTest::qWaitForWindowActive(guide));
    QVERIFY(inst_->platform.messages.empty());
    const QRect room = w_->screen()->availableGeometry();
    QVERIFY(guide->width() <= 900 && guide->height() <= 640);
    QVERIFY2(room.contains(guide->frameGeometry()), "the guide fits the screen");
    QCOMPARE(guide->ShownPage(), GuideFiles().front());

    // F1 again, the guide closed or behind the main window: the same window.
    guide->close();
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QTest::keyClick(w_.get(), Qt::Key_F1);
    QCOMPARE(GuideWindows(), QList<FrmHelp*>{guide});
    QVERIFY(guide->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(guide));
  }

  void everyPageIsTheDocsFileAndEveryPartHasATopic() {
    Start();
    FrmHelp* guide = OpenGuide();
    QVERIFY(guide);
    const QStringList files = GuideFiles();
    QVERIFY(files.size() >= 10);
    QCOMPARE(guide->treContents->topLevelItemCount(), files.size());
    QStringList topics;
    for (int i = 0; i < files.size(); ++i) {
      // Built in as the docs file is, and shown with its title.
      QCOMPARE(ReadAll(":/help/" + files[i]), ReadAll(ORMID_SOURCE_DIR "/docs/" + files[i]));
      QVERIFY(guide->ShowPage(files[i]));
      const QString shown = guide->txtPage->toPlainText();
      QVERIFY2(shown.size() > 500, qPrintable(files[i]));
      QTreeWidgetItem* top = guide->treContents->topLevelItem(i);
      QVERIFY2(shown.startsWith(top->text(0)), qPrintable(files[i]));
      topics << top->text(0);
      for (QTreeWidgetItemIterator it(top); *it && (*it == top || (*it)->parent()); ++it)
        topics << (*it)->text(0);
    }
    const char* parts[] = {"main window",
                           "reports",
                           "report viewer",
                           "long-term results",
                           "commodity results",
                           "cumulative results",
                           "headroom",
                           "run history",
                           "batch",
                           "residue tables",
                           "exports",
                           "cumulative assessment",
                           "command line",
                           "aggregate assessment",
                           "aggregate results"};
    for (const char* part : parts)
      QVERIFY2(!topics.filter(part, Qt::CaseInsensitive).isEmpty(), part);
  }

  void searchListsItsPagesAndEnterMovesTheHighlight() {
    Start();
    FrmHelp* guide = OpenGuide();
    QVERIFY(guide);
    // A word of one page only, more than once there.
    const QString word = "unticks";
    QStringList holding;
    for (const QString& file : GuideFiles())
      if (QString::fromUtf8(ReadAll(":/help/" + file)).contains(word, Qt::CaseInsensitive))
        holding << file;
    QCOMPARE(holding, QStringList{"desktop.md"});
    guide->ShowPage("history.md");

    QTest::keyClicks(guide->txtSearch, word);
    QCOMPARE(guide->stkLeft->currentWidget(), guide->lstHits);
    QVERIFY(guide->lstHits->count() > 0);
    for (int i = 0; i < guide->lstHits->count(); ++i)
      QVERIFY(guide->lstHits->item(i)->text().startsWith("The desktop program"));
    QVERIFY(guide->Hits().size() >= 2);

    QTest::keyClick(guide->txtSearch, Qt::Key_Return);
    QCOMPARE(guide->ShownPage(), QString("desktop.md"));
    const QTextCursor first = guide->txtPage->textCursor();
    QCOMPARE(first.selectedText().toLower(), word);
    QTest::keyClick(guide->txtSearch, Qt::Key_Return);
    const QTextCursor second = guide->txtPage->textCursor();
    QVERIFY(second.selectionStart() > first.selectionStart());
    QCOMPARE(second.selectedText().toLower(), word);
    QTest::keyClick(guide->txtSearch, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(guide->txtPage->textCursor().selectionStart(), first.selectionStart());

    // No place: the window says so, no message box.
    guide->txtSearch->clear();
    QTest::keyClicks(guide->txtSearch, "zqxwv");
    QTest::keyClick(guide->txtSearch, Qt::Key_Return);
    QVERIFY(guide->lblStatus->text().contains("\"zqxwv\" is not in the guide"));
    QCOMPARE(guide->lstHits->count(), 0);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(inst_->platform.messages.empty());
    guide->txtSearch->clear();
    QCOMPARE(guide->stkLeft->currentWidget(), guide->treContents);
  }

  void linksBetweenPagesNavigate() {
    Start();
    FrmHelp* guide = OpenGuide();
    QVERIFY(guide);
    QVERIFY(guide->ShowPage("headroom.md"));
    QVERIFY(ClickLink(*guide->txtPage, "exports.md"));
    QCOMPARE(guide->ShownPage(), QString("exports.md"));
    QCOMPARE(guide->treContents->currentItem()->data(0, Qt::UserRole).toInt(),
             GuideFiles().indexOf("exports.md"));

    // A link to a heading of another page: the page opens at the heading.
    QVERIFY(guide->ShowPage("desktop.md"));
    QVERIFY(ClickLink(*guide->txtPage, "cumulative.md#in-the-desktop-program"));
    QCOMPARE(guide->ShownPage(), QString("cumulative.md"));
    QTextCursor heading = guide->txtPage->document()->find("In the desktop program");
    QVERIFY(heading.block().blockFormat().headingLevel() == 2);
    QVERIFY(guide->txtPage->verticalScrollBar()->value() > 0);
    QVERIFY(guide->txtPage->viewport()->rect().contains(guide->txtPage->cursorRect(heading)));

    // A note of the source tree that is not in the guide: said below the page.
    QVERIFY(guide->ShowPage("platform-notes.md"));
    QVERIFY(ClickLink(*guide->txtPage, "architecture.md"));
    QCOMPARE(guide->ShownPage(), QString("platform-notes.md"));
    QVERIFY(guide->lblStatus->text().contains("not in this guide"));

    guide->cmdBack->click();
    QCOMPARE(guide->ShownPage(), QString("cumulative.md"));
  }

  void aboutNamesTheVersionAndEachLibrary() {
    Start();
    QString text, title;
    runner_.scripts.push_back([&](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      QVERIFY(box);
      text = box->text();
      title = box->windowTitle();
    });
    w_->mnuAbout->trigger();
    QCOMPARE(title, QString("About Ormid"));
    const QString nlohmann = QString("%1.%2.%3")
                                 .arg(NLOHMANN_JSON_VERSION_MAJOR)
                                 .arg(NLOHMANN_JSON_VERSION_MINOR)
                                 .arg(NLOHMANN_JSON_VERSION_PATCH);
    const QString expected[][2] = {{"Ormid", QString::fromStdString(ProgramVersionText())},
                                   {"Qt", qVersion()},
                                   {"SQLite", sqlite3_libversion()},
                                   {"OpenSSL libcrypto", OpenSSL_version(OPENSSL_VERSION_STRING)},
                                   {"libxlsxwriter", lxw_version()},
                                   {"nlohmann json", nlohmann}};
    for (const auto& [name, version] : expected) {
      QVERIFY2(text.contains(name), qPrintable(name));
      QVERIFY2(text.contains(version), qPrintable(name + " " + version));
    }
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::HelpWindowTest)
#include "help_window_test.moc"
