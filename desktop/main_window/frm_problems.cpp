#include "desktop/main_window/frm_problems.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/delivery/qt_text.h"

namespace ormid {

FrmProblems::FrmProblems(const std::string& title, const std::string& heading,
                         const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent) {
  setObjectName("frmProblems");
  setWindowTitle(FromBytes(title));
  auto* layout = new QVBoxLayout(this);
  lblHeading = new QLabel(FromBytes(heading), this);
  lblHeading->setObjectName("lblHeading");
  lblHeading->setWordWrap(true);
  layout->addWidget(lblHeading);
  txtProblems = new QPlainTextEdit(this);
  txtProblems->setObjectName("txtProblems");
  txtProblems->setReadOnly(true);
  txtProblems->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtProblems->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QString text;
  for (const std::string& line : lines) text += FromBytes(line) + '\n';
  txtProblems->setPlainText(text);
  layout->addWidget(txtProblems, 1);
  auto* buttons = new QHBoxLayout();
  cmdCopy = new QPushButton(tr("&Copy"), this);
  cmdCopy->setObjectName("cmdCopy");
  cmdCopy->setAutoDefault(false);
  cmdClose = new QPushButton(tr("Close"), this);
  cmdClose->setObjectName("cmdClose");
  cmdClose->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(cmdCopy);
  buttons->addWidget(cmdClose);
  layout->addLayout(buttons);
  connect(cmdCopy, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(txtProblems->toPlainText()); });
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
  resize(720, 360);
}

}  // namespace ormid
