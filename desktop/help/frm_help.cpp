#include "desktop/help/frm_help.h"

#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace ormid {

namespace {

const QString kRoot = QStringLiteral(":/help/");
const QString kUrlRoot = QStringLiteral("qrc:/help/");
// At most this large, so that it fits a 1366x768 screen beside the main
// window's edge.
constexpr int kMaxWidth = 900;
constexpr int kMaxHeight = 640;

QString ReadResource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// The anchor a Markdown link names a heading by: lower case, letters,
// digits, '-' and '_' kept, spaces as '-' ("What-if: leaving commodities
// out" is "what-if-leaving-commodities-out").
QString AnchorOf(const QString& heading) {
  QString anchor;
  for (QChar c : heading.toLower()) {
    if (c.isLetterOrNumber() || c == '-' || c == '_')
      anchor += c;
    else if (c == ' ')
      anchor += '-';
  }
  return anchor;
}

// The headings of a page as the document holds them; a second heading of
// the same words gets "-1" after its anchor, a third "-2".
std::vector<FrmHelp::Heading> HeadingsOf(const QTextDocument& doc) {
  std::vector<FrmHelp::Heading> headings;
  std::vector<QString> seen;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level <= 0) continue;
    FrmHelp::Heading h{level, block.text().trimmed(), block.position(), AnchorOf(block.text())};
    const auto same = std::count(seen.begin(), seen.end(), h.anchor);
    seen.push_back(h.anchor);
    if (same > 0) h.anchor += QString("-%1").arg(same);
    headings.push_back(h);
  }
  return headings;
}

QUrl PageUrl(const QString& file) {
  return QUrl(kUrlRoot + file);
}

// Keeps the guide of one main window, and deletes it with that window.
class GuideHolder : public QObject {
 public:
  static constexpr const char* kName = "ormidGuideHolder";
  explicit GuideHolder(QObject* owner) : QObject(owner) { setObjectName(kName); }
  ~GuideHolder() override { delete window; }
  FrmHelp* window = nullptr;
};

}  // namespace

FrmHelp::FrmHelp(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmHelp");
  setWindowTitle(tr("Ormid Guide"));

  cmdBack = new QToolButton(this);
  cmdBack->setObjectName("cmdBack");
  cmdBack->setArrowType(Qt::LeftArrow);
  cmdBack->setToolTip(tr("Back (Alt+Left)"));
  cmdForward = new QToolButton(this);
  cmdForward->setObjectName("cmdForward");
  cmdForward->setArrowType(Qt::RightArrow);
  cmdForward->setToolTip(tr("Forward (Alt+Right)"));
  auto* searchLabel = new QLabel(tr("&Search:"), this);
  txtSearch = new QLineEdit(this);
  txtSearch->setObjectName("txtSearch");
  txtSearch->setPlaceholderText(tr("words to find in the guide (Enter or F3: next place)"));
  txtSearch->setClearButtonEnabled(true);
  searchLabel->setBuddy(txtSearch);

  auto* split = new QSplitter(Qt::Horizontal, this);
  stkLeft = new QStackedWidget(split);
  treContents = new QTreeWidget(stkLeft);
  treContents->setObjectName("treContents");
  treContents->setHeaderHidden(true);
  lstHits = new QListWidget(stkLeft);
  lstHits->setObjectName("lstHits");
  stkLeft->addWidget(treContents);
  stkLeft->addWidget(lstHits);
  txtPage = new QTextBrowser(split);
  txtPage->setObjectName("txtPage");
  // Links are followed here: pages of the guide in this window, web
  // addresses in the browser, anything else explained on the status line.
  txtPage->setOpenLinks(false);
  split->addWidget(stkLeft);
  split->addWidget(txtPage);
  split->setStretchFactor(1, 1);
  split->setSizes({250, 650});
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setWordWrap(true);

  auto* top = new QHBoxLayout();
  top->addWidget(cmdBack);
  top->addWidget(cmdForward);
  top->addSpacing(8);
  top->addWidget(searchLabel);
  top->addWidget(txtSearch, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(top);
  outer->addWidget(split, 1);
  outer->addWidget(lblStatus);

  cmdBack->setEnabled(false);
  cmdForward->setEnabled(false);
  connect(cmdBack, &QToolButton::clicked, txtPage, &QTextBrowser::backward);
  connect(cmdForward, &QToolButton::clicked, txtPage, &QTextBrowser::forward);
  connect(txtPage, &QTextBrowser::backwardAvailable, cmdBack, &QToolButton::setEnabled);
  connect(txtPage, &QTextBrowser::forwardAvailable, cmdForward, &QToolButton::setEnabled);
  connect(txtPage, &QTextBrowser::sourceChanged, this, &FrmHelp::PageShown);
  connect(txtPage, &QTextBrowser::anchorClicked, this, &FrmHelp::LinkClicked);
  connect(txtSearch, &QLineEdit::textChanged, this, &FrmHelp::Search);
  connect(txtSearch, &QLineEdit::returnPressed, this, [this] { FindNext(false); });
  // A topic or heading chosen by the keys or clicked (again) is gone to.
  auto goToTopic = [this](QTreeWidgetItem* item) {
    if (following_ || !item) return;
    const auto& page = pages_[static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt())];
    const int heading = item->data(0, Qt::UserRole + 1).toInt();
    ShowPage(page.file,
             heading < 0 ? QString() : page.headings[static_cast<std::size_t>(heading)].anchor);
  };
  connect(treContents, &QTreeWidget::currentItemChanged, this, goToTopic);
  connect(treContents, &QTreeWidget::itemClicked, this, goToTopic);
  auto goToListed = [this](QListWidgetItem* item) {
    if (item) GoToHit(item->data(Qt::UserRole).toInt());
  };
  connect(lstHits, &QListWidget::itemClicked, this, goToListed);
  connect(lstHits, &QListWidget::itemActivated, this, goToListed);
  // The pictures follow the page's width.
  txtPage->viewport()->installEventFilter(this);

  auto shortcut = [this](const QKeySequence& keys, auto action) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
  };
  shortcut(QKeySequence(Qt::Key_F3), [this] { FindNext(false); });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext(true); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
    txtSearch->setFocus();
    txtSearch->selectAll();
  });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { txtPage->backward(); });
  shortcut(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { txtPage->forward(); });

  LoadPages();
  BuildContents();
  resize(kMaxWidth, kMaxHeight);
  if (!pages_.empty()) ShowPage(pages_.front().file);
}

void FrmHelp::LoadPages() {
  const QStringList files = ReadResource(kRoot + "contents.txt").split('\n', Qt::SkipEmptyParts);
  for (const QString& line : files) {
    const QString file = line.trimmed();
    QTextDocument doc;
    doc.setMarkdown(ReadResource(kRoot + file));
    Page page{file, file, doc.toRawText(), HeadingsOf(doc)};
    auto title = std::find_if(page.headings.begin(), page.headings.end(),
                              [](const Heading& h) { return h.level == 1; });
    if (title != page.headings.end()) page.title = title->text;
    pages_.push_back(std::move(page));
  }
}

void FrmHelp::BuildContents() {
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    const Page& page = pages_[p];
    auto* top = new QTreeWidgetItem(treContents, {page.title});
    top->setData(0, Qt::UserRole, static_cast<int>(p));
    top->setData(0, Qt::UserRole + 1, -1);
    QTreeWidgetItem* section = nullptr;
    for (std::size_t h = 0; h < page.headings.size(); ++h) {
      const Heading& heading = page.headings[h];
      if (heading.level < 2 || heading.level > 3) continue;
      QTreeWidgetItem* parent = heading.level == 3 && section ? section : top;
      auto* item = new QTreeWidgetItem(parent, {heading.text});
      item->setData(0, Qt::UserRole, static_cast<int>(p));
      item->setData(0, Qt::UserRole + 1, static_cast<int>(h));
      if (heading.level == 2) section = item;
    }
  }
}

int FrmHelp::PageIndex(const QString& file) const {
  for (std::size_t p = 0; p < pages_.size(); ++p)
    if (pages_[p].file == file) return static_cast<int>(p);
  return -1;
}

QString FrmHelp::ShownPage() const {
  return shown_ < 0 ? QString() : pages_[static_cast<std::size_t>(shown_)].file;
}

int FrmHelp::PageOf(const QUrl& url) const {
  const QString path = url.path();
  return url.scheme() == "qrc" && path.startsWith("/help/") ? PageIndex(path.mid(6)) : -1;
}

bool FrmHelp::ShowPage(const QString& file, const QString& anchor) {
  if (PageIndex(file) < 0) return false;
  if (ShownPage() != file) txtPage->setSource(PageUrl(file));
  if (anchor.isEmpty())
    txtPage->verticalScrollBar()->setValue(0);
  else
    txtPage->scrollToAnchor(anchor);
  return true;
}

void FrmHelp::PageShown(const QUrl& url) {
  // The browser tells of the page before its source() names it.
  const int index = PageOf(url);
  if (index < 0) return;
  shown_ = index;
  const Page& page = pages_[static_cast<std::size_t>(index)];
  // Markdown headings carry no anchors: each gets the name links use.
  QTextDocument* doc = txtPage->document();
  for (const Heading& heading : HeadingsOf(*doc)) {
    QTextCursor cursor(doc);
    cursor.setPosition(heading.position);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat anchor;
    anchor.setAnchor(true);
    anchor.setAnchorNames({heading.anchor});
    cursor.mergeCharFormat(anchor);
  }
  FitImages();
  // The contents follow the page, without going anywhere themselves.
  following_ = true;
  for (int i = 0; i < treContents->topLevelItemCount(); ++i)
    if (treContents->topLevelItem(i)->data(0, Qt::UserRole).toInt() == index)
      treContents->setCurrentItem(treContents->topLevelItem(i));
  following_ = false;
  setWindowTitle(tr("Ormid Guide - %1").arg(page.title));
  MarkHits();
}

void FrmHelp::FitImages() {
  QTextDocument* doc = txtPage->document();
  const int room =
      std::max(160, txtPage->viewport()->width() - 2 * static_cast<int>(doc->documentMargin()) - 8);
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat image = fragment.charFormat().toImageFormat();
      const QSize natural = QImageReader(kRoot + image.name()).size();
      if (!natural.isValid()) continue;
      // Pictures as wide as the page leaves room for, never larger than
      // they are.
      const int width = std::min(natural.width(), room);
      if (static_cast<int>(image.width()) == width) continue;
      image.setWidth(width);
      image.setHeight(static_cast<double>(natural.height()) * width / natural.width());
      QTextCursor cursor(doc);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(image);
    }
  }
}

bool FrmHelp::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtPage->viewport() && event->type() == QEvent::Resize) FitImages();
  return QWidget::eventFilter(watched, event);
}

void FrmHelp::LinkClicked(const QUrl& link) {
  const QUrl target = PageUrl(ShownPage()).resolved(link);
  if (target.scheme() == "qrc") {
    if (const int page = PageOf(target); page >= 0) {
      ShowPage(pages_[static_cast<std::size_t>(page)].file, target.fragment());
      lblStatus->clear();
      return;
    }
    lblStatus->setText(
        tr("%1 is not in this guide: it is among the notes in the docs folder of Ormid's "
           "source.")
            .arg(link.toString()));
    return;
  }
  QDesktopServices::openUrl(target);
}

int FrmHelp::SectionAt(const Page& page, int position) const {
  int section = -1;
  for (std::size_t h = 0; h < page.headings.size(); ++h)
    if (page.headings[h].position <= position) section = static_cast<int>(h);
  return section;
}

void FrmHelp::Search(const QString& typed) {
  searched_ = typed.trimmed();
  hits_.clear();
  hit_ = -1;
  lstHits->clear();
  if (searched_.isEmpty()) {
    stkLeft->setCurrentWidget(treContents);
    lblStatus->clear();
    MarkHits();
    return;
  }
  // One line per section that holds the text: its page and heading, and
  // how often it occurs there.
  QListWidgetItem* line = nullptr;
  int lineCount = 0, lastPage = -1, lastSection = -2;
  std::vector<int> pagesHit;
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    const Page& page = pages_[p];
    for (int at = page.text.indexOf(searched_, 0, Qt::CaseInsensitive); at >= 0;
         at = page.text.indexOf(searched_, at + searched_.size(), Qt::CaseInsensitive)) {
      const int section = SectionAt(page, at);
      if (static_cast<int>(p) != lastPage || section != lastSection) {
        if (static_cast<int>(p) != lastPage) pagesHit.push_back(static_cast<int>(p));
        QString where = page.title;
        if (section >= 0 && page.headings[static_cast<std::size_t>(section)].level > 1)
          where +=
              QString::fromUtf8(" \u203a ") + page.headings[static_cast<std::size_t>(section)].text;
        line = new QListWidgetItem(where, lstHits);
        line->setData(Qt::UserRole, static_cast<int>(hits_.size()));
        line->setToolTip(where);
        lineCount = 0;
        lastPage = static_cast<int>(p);
        lastSection = section;
      }
      hits_.push_back({static_cast<int>(p), at});
      ++lineCount;
      if (lineCount > 1) line->setText(line->toolTip() + QString(" (%1)").arg(lineCount));
    }
  }
  stkLeft->setCurrentWidget(lstHits);
  if (hits_.empty())
    lblStatus->setText(tr("\"%1\" is not in the guide.").arg(searched_));
  else
    lblStatus->setText(tr("\"%1\": %2 places on %3 pages. Enter or F3 goes to the next.")
                           .arg(searched_)
                           .arg(hits_.size())
                           .arg(pagesHit.size()));
  MarkHits();
}

bool FrmHelp::FindNext(bool backward) {
  if (searched_.isEmpty()) {
    txtSearch->setFocus();
    return false;
  }
  if (hits_.empty()) {
    lblStatus->setText(tr("\"%1\" is not in the guide.").arg(searched_));
    return false;
  }
  const int count = static_cast<int>(hits_.size());
  GoToHit(hit_ < 0 ? (backward ? count - 1 : 0) : (hit_ + (backward ? count - 1 : 1)) % count);
  return true;
}

void FrmHelp::GoToHit(int index) {
  if (index < 0 || index >= static_cast<int>(hits_.size())) return;
  hit_ = index;
  const Hit& hit = hits_[static_cast<std::size_t>(index)];
  const Page& page = pages_[static_cast<std::size_t>(hit.page)];
  ShowPage(page.file);
  QTextCursor cursor(txtPage->document());
  cursor.setPosition(hit.position);
  cursor.setPosition(hit.position + static_cast<int>(searched_.size()), QTextCursor::KeepAnchor);
  txtPage->setTextCursor(cursor);
  // The place a third of the way down the page, with its context above it.
  QScrollBar* bar = txtPage->verticalScrollBar();
  txtPage->ensureCursorVisible();
  bar->setValue(bar->value() + txtPage->cursorRect().top() - txtPage->viewport()->height() / 3);
  MarkHits();
  // The line of the section in the list, without going there again.
  for (int i = lstHits->count() - 1; i >= 0; --i)
    if (lstHits->item(i)->data(Qt::UserRole).toInt() <= index) {
      lstHits->setCurrentRow(i);
      break;
    }
  const int section = SectionAt(page, hit.position);
  lblStatus->setText(
      tr("Place %1 of %2: %3")
          .arg(index + 1)
          .arg(hits_.size())
          .arg(section >= 0 ? page.headings[static_cast<std::size_t>(section)].text : page.title));
}

void FrmHelp::MarkHits() {
  QList<QTextEdit::ExtraSelection> marks;
  for (std::size_t i = 0; i < hits_.size(); ++i) {
    if (hits_[i].page != shown_) continue;
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(txtPage->document());
    mark.cursor.setPosition(hits_[i].position);
    mark.cursor.setPosition(hits_[i].position + static_cast<int>(searched_.size()),
                            QTextCursor::KeepAnchor);
    // Every place on the page in yellow, the one gone to in orange.
    mark.format.setBackground(static_cast<int>(i) == hit_ ? QColor(255, 160, 40)
                                                          : QColor(255, 236, 120));
    marks.append(mark);
  }
  txtPage->setExtraSelections(marks);
}

void FrmHelp::keyPressEvent(QKeyEvent* event) {
  // Esc empties the search field first, then closes the guide.
  if (event->key() == Qt::Key_Escape) {
    if (!txtSearch->text().isEmpty())
      txtSearch->clear();
    else
      close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void FrmHelp::PlaceBeside(const QWidget& main) {
  if (placed_) return;  // where the user moved it, it stays
  placed_ = true;
  QScreen* screen = main.screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  const QRect frame = main.frameGeometry();
  // The window manager's frame around this window, as around the main window.
  const int extraW = frame.width() - main.width();
  const int extraH = frame.height() - main.height();
  const int w = std::min(kMaxWidth, room.width() - extraW);
  const int h = std::min(kMaxHeight, room.height() - extraH);
  resize(w, h);
  const int right = room.right() - frame.right();
  const int left = frame.left() - room.left();
  int x = 0;
  if (right >= w + extraW)
    x = frame.right() + 1;
  else if (left >= w + extraW)
    x = frame.left() - w - extraW;
  else if (right >= left)
    x = room.right() + 1 - w - extraW;  // over the main window's right part
  else
    x = room.left();
  const int y =
      std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() + 1 - h - extraH));
  move(x, y);
}

FrmHelp* ShowHelpWindow(QWidget& main) {
  auto* holder = static_cast<GuideHolder*>(
      main.findChild<QObject*>(GuideHolder::kName, Qt::FindDirectChildrenOnly));
  if (!holder) holder = new GuideHolder(&main);
  if (!holder->window) {
    holder->window = new FrmHelp();
    holder->window->PlaceBeside(main);
  }
  FrmHelp* help = holder->window;
  help->show();
  help->raise();
  help->activateWindow();
  return help;
}

}  // namespace ormid
