#include "desktop/delivery/report_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "desktop/delivery/qt_text.h"

namespace ormid {

namespace {

constexpr int kMargin = 4;  // left of the text, in pixels

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

ReportView::ReportView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  SetText("");
}

void ReportView::SetText(std::string text) {
  text_ = std::move(text);
  starts_.assign(1, 0);
  longest_ = 0;
  const char* data = text_.data();
  std::size_t at = 0;
  while (at < text_.size()) {
    const void* found = std::memchr(data + at, '\n', text_.size() - at);
    if (!found) break;
    const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    longest_ = std::max(longest_, end - at);
    at = end + 1;
    starts_.push_back(at);
  }
  longest_ = std::max(longest_, text_.size() - at);
  cursor_ = anchor_ = Pos{};
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
}

std::string_view ReportView::Line(std::size_t line) const {
  if (line >= starts_.size()) return {};
  const std::size_t from = starts_[line];
  std::size_t to = line + 1 < starts_.size() ? starts_[line + 1] - 1 : text_.size();
  if (to > from && text_[to - 1] == '\r') --to;
  return std::string_view(text_).substr(from, to - from);
}

ReportView::Pos ReportView::End() const {
  const std::size_t last = starts_.size() - 1;
  return {last, Line(last).size()};
}

std::size_t ReportView::Offset(Pos p) const {
  return starts_[std::min(p.line, starts_.size() - 1)] + p.column;
}

ReportView::Pos ReportView::PosOf(std::size_t offset) const {
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const auto line = static_cast<std::size_t>(it - starts_.begin()) - 1;
  return {line, std::min(offset - starts_[line], Line(line).size())};
}

int ReportView::LineHeight() const {
  return std::max(1, fontMetrics().lineSpacing());
}

qreal ReportView::CharWidth() const {
  // The advance the text is drawn with, fractions of a pixel included: a
  // highlight placed by a rounded advance drifts along the line (by a
  // character at the 14th column of 8.25-point Courier New).
  return std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
}

int ReportView::ColumnX(std::size_t column) const {
  return kMargin - horizontalScrollBar()->value() +
         static_cast<int>(std::lround(static_cast<qreal>(column) * CharWidth()));
}

int ReportView::ViewWidthFor(std::size_t columns) const {
  return static_cast<int>(std::ceil(static_cast<qreal>(columns) * CharWidth())) + 2 * kMargin +
         2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

int ReportView::VisibleLines() const {
  return std::max(1, viewport()->height() / LineHeight());
}

void ReportView::UpdateScrollBars() {
  const int visible = VisibleLines();
  const auto lines = static_cast<int>(std::min<std::size_t>(starts_.size(), INT32_MAX));
  verticalScrollBar()->setRange(0, std::max(0, lines - visible));
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setSingleStep(1);
  const auto wide =
      static_cast<long long>(std::ceil(static_cast<qreal>(longest_) * CharWidth())) + 2 * kMargin;
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::clamp<long long>(wide - viewport()->width(), 0, INT32_MAX)));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(CharWidth())));
}

void ReportView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void ReportView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void ReportView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// Lines are painted from the scroll bars' values: a scroll repaints.
void ReportView::scrollContentsBy(int, int) {
  viewport()->update();
}

void ReportView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  const int lh = LineHeight();
  const int left = ColumnX(0);
  const auto first = static_cast<std::size_t>(verticalScrollBar()->value());
  const Pos from = std::min(cursor_, anchor_), to = std::max(cursor_, anchor_);
  const QPalette& colours = palette();
  const int ascent = fontMetrics().ascent();
  for (std::size_t line = first; line < starts_.size() && line <= first + VisibleLines(); ++line) {
    const int top = static_cast<int>(line - first) * lh;
    const std::string_view text = Line(line);
    if (from != to && line >= from.line && line <= to.line) {
      const std::size_t a = line == from.line ? from.column : 0;
      // A selection that goes on past the line's end covers its line end too.
      const std::size_t b = line == to.line ? to.column : text.size() + 1;
      painter.fillRect(ColumnX(a), top, ColumnX(b) - ColumnX(a), lh,
                       colours.brush(QPalette::Highlight));
    }
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(left, top + ascent, FromBytes(std::string(text)));
    if (from != to && line >= from.line && line <= to.line) {
      // The selected characters again, in the highlighted text colour.
      const std::size_t a = line == from.line ? from.column : 0;
      const std::size_t b = std::min(line == to.line ? to.column : text.size(), text.size());
      if (b > a) {
        painter.setPen(colours.color(QPalette::HighlightedText));
        painter.drawText(QPointF(left + static_cast<qreal>(a) * CharWidth(), top + ascent),
                         FromBytes(std::string(text.substr(a, b - a))));
      }
    }
  }
  if (hasFocus()) painter.fillRect(CursorRect(), colours.color(QPalette::Text));
}

QRect ReportView::CursorRect() const {
  const int line = static_cast<int>(cursor_.line) - verticalScrollBar()->value();
  return QRect(ColumnX(cursor_.column), line * LineHeight(), 1, LineHeight());
}

ReportView::Pos ReportView::PosAt(const QPoint& point) const {
  const long long line = verticalScrollBar()->value() + std::max(0, point.y()) / LineHeight();
  Pos p;
  p.line = static_cast<std::size_t>(
      std::clamp<long long>(line, 0, static_cast<long long>(starts_.size()) - 1));
  const qreal x = point.x() - kMargin + horizontalScrollBar()->value() + CharWidth() / 2;
  p.column = std::min<std::size_t>(static_cast<std::size_t>(std::max<qreal>(0, x / CharWidth())),
                                   Line(p.line).size());
  return p;
}

void ReportView::EnsureVisible(Pos p) {
  QScrollBar* v = verticalScrollBar();
  const auto line = static_cast<long long>(p.line);
  if (line < v->value()) v->setValue(static_cast<int>(line));
  if (line >= v->value() + VisibleLines()) v->setValue(static_cast<int>(line - VisibleLines() + 1));
  QScrollBar* h = horizontalScrollBar();
  const auto x = static_cast<long long>(std::lround(static_cast<qreal>(p.column) * CharWidth()));
  if (x < h->value()) h->setValue(static_cast<int>(x));
  const int room = viewport()->width() - 2 * kMargin - static_cast<int>(std::ceil(CharWidth()));
  if (x > h->value() + room) h->setValue(static_cast<int>(x - room));
}

void ReportView::MoveCursor(Pos to, bool extend) {
  to.line = std::min(to.line, starts_.size() - 1);
  to.column = std::min(to.column, Line(to.line).size());
  cursor_ = to;
  if (!extend) anchor_ = to;
  EnsureVisible(to);
  viewport()->update();
}

QString ReportView::SelectedText() const {
  const Pos from = std::min(cursor_, anchor_), to = std::max(cursor_, anchor_);
  std::string out;
  for (std::size_t line = from.line; line <= to.line; ++line) {
    const std::string_view text = Line(line);
    const std::size_t a = line == from.line ? from.column : 0;
    const std::size_t b = line == to.line ? to.column : text.size();
    out.append(text.substr(a, b - a));
    if (line != to.line) out += '\n';
  }
  return FromBytes(out);
}

namespace {

// A find lowers a piece of the report at a time: the report's bytes are
// held once, not again in lower case.
constexpr std::size_t kPiece = std::size_t{1} << 20;

std::size_t PieceFor(const std::string& needle) {
  return std::max(kPiece, 2 * needle.size());
}

void LowerInto(std::string_view from, std::string& piece) {
  piece.resize(from.size());
  std::transform(from.begin(), from.end(), piece.begin(), Lower);
}

}  // namespace

std::size_t ReportView::FirstFrom(std::size_t at, const std::string& needle) const {
  const std::size_t size = PieceFor(needle);
  std::string piece;
  for (std::size_t begin = at; begin < text_.size(); begin += size) {
    const std::size_t end = std::min(text_.size(), begin + size + needle.size() - 1);
    LowerInto(std::string_view(text_).substr(begin, end - begin), piece);
    // memmem: the C library's search, fast on a report of any size.
    const void* hit = ::memmem(piece.data(), piece.size(), needle.data(), needle.size());
    if (hit) return begin + static_cast<std::size_t>(static_cast<const char*>(hit) - piece.data());
    if (end == text_.size()) break;
  }
  return std::string::npos;
}

std::size_t ReportView::LastBefore(std::size_t limit, const std::string& needle) const {
  const std::size_t size = PieceFor(needle);
  std::string piece;
  // Each piece ends where a place that starts before the one after it ends.
  std::size_t end = std::min(text_.size(), limit + needle.size() - 1);
  while (end >= needle.size()) {
    const std::size_t begin = end > size ? end - size : 0;
    LowerInto(std::string_view(text_).substr(begin, end - begin), piece);
    std::size_t last = std::string::npos;
    for (std::size_t at = 0; at + needle.size() <= piece.size();) {
      const void* hit =
          ::memmem(piece.data() + at, piece.size() - at, needle.data(), needle.size());
      if (!hit) break;
      const auto found = static_cast<std::size_t>(static_cast<const char*>(hit) - piece.data());
      if (begin + found >= limit) break;
      last = begin + found;
      at = found + 1;
    }
    if (last != std::string::npos) return last;
    if (begin == 0) break;
    end = begin + needle.size() - 1;
  }
  return std::string::npos;
}

bool ReportView::Find(const QString& what, bool backward) {
  std::string needle = ToBytes(what);
  if (needle.empty()) return false;
  std::transform(needle.begin(), needle.end(), needle.begin(), Lower);
  const std::size_t from = Offset(std::min(cursor_, anchor_));
  const std::size_t to = Offset(std::max(cursor_, anchor_));
  // Forward: the first place after the selection; backward: the last place
  // that starts before it.
  const std::size_t found = backward ? LastBefore(from, needle) : FirstFrom(to, needle);
  if (found == std::string::npos) return false;
  anchor_ = PosOf(found);
  cursor_ = PosOf(found + needle.size());
  EnsureVisible(anchor_);
  EnsureVisible(cursor_);
  viewport()->update();
  return true;
}

void ReportView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    if (cursor_ != anchor_) QApplication::clipboard()->setText(SelectedText());
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    anchor_ = Pos{};
    MoveCursor(End(), true);
    return;
  }
  const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
  const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
  Pos to = cursor_;
  const std::size_t page = static_cast<std::size_t>(VisibleLines());
  switch (event->key()) {
    case Qt::Key_Up:
      if (to.line > 0) --to.line;
      break;
    case Qt::Key_Down:
      ++to.line;
      break;
    case Qt::Key_Left:
      if (to.column > 0) {
        --to.column;
      } else if (to.line > 0) {
        --to.line;
        to.column = Line(to.line).size();
      }
      break;
    case Qt::Key_Right:
      if (to.column < Line(to.line).size()) {
        ++to.column;
      } else if (to.line + 1 < starts_.size()) {
        ++to.line;
        to.column = 0;
      }
      break;
    case Qt::Key_PageUp:
      to.line -= std::min(to.line, page);
      verticalScrollBar()->setValue(verticalScrollBar()->value() - static_cast<int>(page));
      break;
    case Qt::Key_PageDown:
      to.line += page;
      verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(page));
      break;
    case Qt::Key_Home:
      to = control ? Pos{} : Pos{to.line, 0};
      break;
    case Qt::Key_End:
      to = control ? End() : Pos{to.line, Line(to.line).size()};
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  MoveCursor(to, extend);
}

void ReportView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  MoveCursor(PosAt(event->position().toPoint()), (event->modifiers() & Qt::ShiftModifier) != 0);
}

void ReportView::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) == 0) return;
  MoveCursor(PosAt(event->position().toPoint()), true);
}

}  // namespace ormid
