#include "desktop/delivery/frm_report2.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <fstream>

#include "core/record_file.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/delivery/report_view.h"

namespace ormid {

QFont ReportFont(double pointSize) {
  QFont font;
  if (QFontDatabase::families().contains("Courier New")) {
    font = QFont("Courier New");
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSizeF(pointSize);
  return font;
}

namespace {

// A report's lines are 80 columns wide (a commodity report's a few more).
constexpr std::size_t kReportColumns = 80;

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

FrmReport2::FrmReport2(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmReport2");
  // Read-only, with a cursor the keys move (Ctrl+Home, Ctrl+End, pages).
  rtbreport = new ReportView(this);
  rtbreport->setObjectName("rtbreport");
  rtbreport->setFont(ReportFont(8.25));

  cmdFind = NewButton(tr("&Find..."), "cmdFind", this);
  cmdPrint = NewButton(tr("&Print..."), "cmdPrint", this);
  cmdSave = NewButton(tr("&Save a Copy..."), "cmdSave", this);
  cmdPdf = NewButton(tr("Save as P&DF..."), "cmdPdf", this);
  cmdFind->setToolTip(tr("Find in the report (Ctrl+F)"));
  cmdPrint->setToolTip(tr("Print the report (Ctrl+P)"));
  cmdSave->setToolTip(tr("Save a copy of the report (Ctrl+S)"));
  auto* buttons = new QHBoxLayout();
  for (QPushButton* b : {cmdFind, cmdPrint, cmdSave, cmdPdf}) buttons->addWidget(b);
  buttons->addStretch();

  fraFind = new QWidget(this);
  fraFind->setObjectName("fraFind");
  auto* find = new QHBoxLayout(fraFind);
  find->setContentsMargins(0, 0, 0, 0);
  auto* findLabel = new QLabel(tr("Fi&nd:"), fraFind);
  txtFind = new QLineEdit(fraFind);
  txtFind->setObjectName("txtFind");
  findLabel->setBuddy(txtFind);
  cmdFindNext = NewButton(tr("Ne&xt"), "cmdFindNext", fraFind);
  cmdFindPrevious = NewButton(tr("Pre&vious"), "cmdFindPrevious", fraFind);
  lblFindStatus = new QLabel(fraFind);
  lblFindStatus->setObjectName("lblFindStatus");
  find->addWidget(findLabel);
  find->addWidget(txtFind, 1);
  find->addWidget(cmdFindNext);
  find->addWidget(cmdFindPrevious);
  find->addWidget(lblFindStatus);
  fraFind->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(buttons);
  layout->addWidget(fraFind);
  layout->addWidget(rtbreport, 1);

  connect(cmdFind, &QPushButton::clicked, this, &FrmReport2::ShowFindBar);
  connect(cmdPrint, &QPushButton::clicked, this, &FrmReport2::printRequested);
  connect(cmdSave, &QPushButton::clicked, this, &FrmReport2::saveRequested);
  connect(cmdPdf, &QPushButton::clicked, this, &FrmReport2::pdfRequested);
  connect(cmdFindNext, &QPushButton::clicked, this, [this] { FindNext(false); });
  connect(cmdFindPrevious, &QPushButton::clicked, this, [this] { FindNext(true); });
  connect(txtFind, &QLineEdit::returnPressed, this, [this] { FindNext(false); });

  auto shortcut = [this](const QKeySequence& keys, auto slot) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { ShowFindBar(); });
  shortcut(QKeySequence(Qt::Key_F3), [this] { FindNext(false); });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext(true); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { emit printRequested(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { emit saveRequested(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { rtbreport->MoveCursor({}); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_End),
           [this] { rtbreport->MoveCursor(rtbreport->End()); });

  // About 86 columns and 50 lines of the report.
  QFontMetrics metrics(rtbreport->font());
  resize(metrics.horizontalAdvance(QString(86, 'M')) + 40, metrics.lineSpacing() * 50 + 60);
}

bool FrmReport2::LoadFile(const std::string& file, RunKind kind) {
  auto bytes = ReadWholeFile(file);
  if (!bytes) return false;
  kind_ = kind;
  // The view holds the report's one copy.
  rtbreport->SetText(std::move(*bytes));
  return true;
}

bool FrmReport2::LoadOpening(const std::string& file, RunKind kind, std::size_t bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string opening(bytes, '\0');
  in.read(opening.data(), static_cast<std::streamsize>(bytes));
  opening.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return false;
  // Whole lines only, when the piece has a line end at all.
  if (const std::size_t end = opening.rfind('\n'); end != std::string::npos && !in.eof())
    opening.resize(end + 1);
  kind_ = kind;
  rtbreport->SetText(std::move(opening));
  return true;
}

const std::string& FrmReport2::ShownText() const {
  return rtbreport->Text();
}

void FrmReport2::PlaceBeside(const QWidget& main) {
  if (placed_) return;  // where the user moved it, it stays
  placed_ = true;
  QScreen* screen = main.screen();
  if (!screen) return;
  QRect room = screen->availableGeometry();
  QRect frame = main.frameGeometry();
  // The window manager's frame around this window, as around the main window.
  int extraW = frame.width() - main.width();
  int extraH = frame.height() - main.height();
  // Every column of the report's widest line in view (80 at least), so
  // that its right edge is never cut.
  const auto columns = std::clamp<std::size_t>(rtbreport->LongestLine(), kReportColumns, 140);
  const QMargins margins = layout()->contentsMargins();
  int minWidth = std::max(rtbreport->ViewWidthFor(columns) + margins.left() + margins.right(),
                          minimumSizeHint().width());
  int right = room.right() - frame.right() - extraW;
  int left = frame.left() - room.left() - extraW;
  int h = std::min(height(), room.height() - extraH);
  resize(width(), h);  // never taller than the screen
  int w = 0, x = 0;
  int wanted = std::max(width(), minWidth);
  if (right >= minWidth) {
    w = std::min(wanted, right);
    x = frame.right() + 1;
  } else if (left >= minWidth) {
    w = std::min(wanted, left);
    x = frame.left() - w - extraW;
  } else {
    // No room beside it: against the screen's edge on the side with more
    // room, where it covers least of the main window, as wide as the
    // report's lines.
    w = std::min(minWidth, room.width() - extraW);
    x = right >= left ? room.right() + 1 - w - extraW : room.left();
  }
  int y = std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() - h - extraH));
  // A second viewer does not open exactly over the first: it steps down by
  // a title bar's height, so that the first one's title shows.
  const int step = std::max(24, extraH);
  for (bool moved = true; moved;) {
    moved = false;
    for (QWidget* other : QApplication::topLevelWidgets())
      if (other != this && qobject_cast<FrmReport2*>(other) && other->isVisible() &&
          other->pos() == QPoint(x, y) && y + step + 200 <= room.bottom()) {
        y += step;
        h = std::min(h, room.bottom() + 1 - y - extraH);
        moved = true;
      }
  }
  resize(w, h);
  move(x, y);
}

void FrmReport2::ShowFindBar() {
  fraFind->show();
  lblFindStatus->clear();
  txtFind->setFocus();
  txtFind->selectAll();
}

bool FrmReport2::FindNext(bool backward) {
  QString what = txtFind->text();
  if (what.isEmpty()) {
    ShowFindBar();
    return false;
  }
  bool found = rtbreport->Find(what, backward);
  if (!found) {
    // Once around: from the other end of the report.
    const ReportView::Pos cursor = rtbreport->Cursor(), anchor = rtbreport->Anchor();
    rtbreport->MoveCursor(backward ? rtbreport->End() : ReportView::Pos{});
    found = rtbreport->Find(what, backward);
    if (!found) {
      rtbreport->MoveCursor(anchor);
      rtbreport->MoveCursor(cursor, true);
    }
  }
  lblFindStatus->setText(found ? QString() : tr("Not found"));
  return found;
}

void FrmReport2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (fraFind->isVisible() && fraFind->isAncestorOf(focusWidget())) {
      fraFind->hide();
      rtbreport->setFocus();
    } else {
      hide();
    }
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace ormid
