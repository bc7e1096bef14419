// frmHelp: the Ormid Guide (Help > Ormid Guide, F1), a window of its own
// beside the main window. On the left the contents (every page of the
// guide with its headings) or, while something is typed in the search
// field, the places where it occurs; on the right the page. The pages are
// the Markdown files of the docs folder, built into the program as they are
// (":/help/", listed in their order in ":/help/contents.txt").
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormid {

class FrmHelp : public QWidget {
  Q_OBJECT

 public:
  // A heading of a page: its level (2 or 3 in the contents), its text, where
  // it starts in the page, and the anchor a link names it by
  // ("in-the-desktop-program").
  struct Heading {
    int level = 0;
    QString text;
    int position = 0;
    QString anchor;
  };
  struct Page {
    QString file;   // "headroom.md"
    QString title;  // its first heading
    QString text;   // the page as shown, in plain text
    std::vector<Heading> headings;
  };
  // One place the search text occurs.
  struct Hit {
    int page = 0;
    int position = 0;
  };

  explicit FrmHelp(QWidget* parent = nullptr);

  const std::vector<Page>& Pages() const { return pages_; }

  // Shows a page of the guide, at the heading `anchor` names when given;
  // false (and the page shown stays) when the guide has no such page.
  bool ShowPage(const QString& file, const QString& anchor = {});
  // The file of the page shown, "" before the first.
  QString ShownPage() const;

  // Lists the sections whose text holds `text` (any case); an empty text
  // shows the contents again.
  void Search(const QString& text);
  const std::vector<Hit>& Hits() const { return hits_; }
  // Goes to the next place of the search text (backward: the one before),
  // after the one shown, round the guide; false when there is none.
  bool FindNext(bool backward = false);

  // Opens beside `main` (right, else left, else at the screen's right edge),
  // no larger than the screen.
  void PlaceBeside(const QWidget& main);

  QLineEdit* txtSearch = nullptr;
  QStackedWidget* stkLeft = nullptr;  // the contents, or the search's places
  QTreeWidget* treContents = nullptr;
  QListWidget* lstHits = nullptr;
  QTextBrowser* txtPage = nullptr;
  QToolButton* cmdBack = nullptr;
  QToolButton* cmdForward = nullptr;
  QLabel* lblStatus = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoadPages();
  void BuildContents();
  int PageIndex(const QString& file) const;
  // The page of a "qrc:/help/" address, -1 for any other.
  int PageOf(const QUrl& url) const;
  // The page the browser has just loaded: its headings become anchors, the
  // contents follow it, and the search's places on it are marked.
  void PageShown(const QUrl& url);
  // Pictures no wider than the page's room.
  void FitImages();
  void LinkClicked(const QUrl& link);
  void GoToHit(int index);
  void MarkHits();
  // The section of a page that holds `position`: the index of its heading,
  // -1 before the first.
  int SectionAt(const Page& page, int position) const;

  std::vector<Page> pages_;
  std::vector<Hit> hits_;
  QString searched_;
  int hit_ = -1;            // the place shown, -1 before the first
  int shown_ = -1;          // the page shown, -1 before the first
  bool following_ = false;  // the contents follow the page: no navigation
  bool placed_ = false;
};

// Opens the guide beside `main`, or brings it to the front when it is open
// already: one guide per main window, deleted with it.
FrmHelp* ShowHelpWindow(QWidget& main);

}  // namespace ormid
