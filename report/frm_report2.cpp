#include "report/frm_report2.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/qt_platform.h"
#include "core/record_file.h"

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

FrmReport2::FrmReport2(QWidget* parent) : QDialog(parent) {
  setObjectName("frmReport2");
  setModal(false);
  rtbreport = new QPlainTextEdit(this);
  rtbreport->setObjectName("rtbreport");
  rtbreport->setReadOnly(true);
  rtbreport->setLineWrapMode(QPlainTextEdit::NoWrap);
  rtbreport->setFont(ReportFont(8.25));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(rtbreport);
  resize(760, 600);
}

bool FrmReport2::LoadFile(const std::string& file) {
  auto bytes = ReadWholeFile(file);
  if (!bytes) return false;
  rtbreport->setPlainText(FromBytes(*bytes));
  return true;
}

void FrmReport2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace ormid
