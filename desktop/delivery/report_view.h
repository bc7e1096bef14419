// ReportView: a read-only view of a report's bytes (one byte one character,
// lines ended by LF or CR LF) that lays out only the lines on screen, so that
// a report of any size shows at once and scrolls and finds without holding
// the window up. A cursor and a selection move with the keys and the mouse,
// as in a read-only text box; Ctrl+C copies the selection.
#pragma once

#include <QAbstractScrollArea>
#include <cstddef>
#include <string>
#include <vector>

namespace ormid {

class ReportView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // A place in the report: line and column, from 0.
  struct Pos {
    std::size_t line = 0, column = 0;
    bool operator==(const Pos&) const = default;
    auto operator<=>(const Pos&) const = default;
  };

  explicit ReportView(QWidget* parent = nullptr);

  // Shows `text`, the cursor at its start.
  void SetText(std::string text);
  const std::string& Text() const { return text_; }
  std::size_t LineCount() const { return starts_.size(); }
  // Line `line` without its line end.
  std::string_view Line(std::size_t line) const;

  Pos Cursor() const { return cursor_; }
  Pos Anchor() const { return anchor_; }
  // The last place of the report: the end of its last line.
  Pos End() const;
  // Moves the cursor (with `extend`, keeping the selection's other end) and
  // scrolls it into view.
  void MoveCursor(Pos to, bool extend = false);
  // The selected text, lines joined by LF.
  QString SelectedText() const;
  // Selects the next place of `what` after the selection (backward: the
  // last before it), without letter case; false when there is none that way.
  bool Find(const QString& what, bool backward);
  // The cursor's rectangle in the viewport.
  QRect CursorRect() const;
  // Where a column's character starts in the viewport, in pixels.
  int ColumnX(std::size_t column) const;
  // The widest line's length, in characters.
  std::size_t LongestLine() const { return longest_; }
  // The view's width that shows `columns` characters of every line, its
  // frame and vertical scroll bar included.
  int ViewWidthFor(std::size_t columns) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  int LineHeight() const;
  qreal CharWidth() const;
  int VisibleLines() const;
  Pos PosAt(const QPoint& point) const;
  void UpdateScrollBars();
  void EnsureVisible(Pos p);
  // Where a place lies in the text, as a byte offset.
  std::size_t Offset(Pos p) const;
  Pos PosOf(std::size_t offset) const;

  // The first place of the lower-case needle at or after `at`, and the
  // last that starts before `limit`, letter case aside; npos when none.
  std::size_t FirstFrom(std::size_t at, const std::string& needle) const;
  std::size_t LastBefore(std::size_t limit, const std::string& needle) const;

  std::string text_;                 // the report's bytes, held here only
  std::vector<std::size_t> starts_;  // each line's first byte
  std::size_t longest_ = 0;          // the longest line's length
  Pos cursor_, anchor_;
};

}  // namespace ormid
