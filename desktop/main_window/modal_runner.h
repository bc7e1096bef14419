// How the desktop program runs its modal forms and finds a printer. The
// program shows them for real; GUI tests drive the forms' own buttons
// instead, so that no test ever waits in a blocking exec().
#pragma once

class QDialog;
class QPrinter;

namespace ormid {

class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Shows the dialog modally and returns when it is closed.
  virtual void RunModal(QDialog& dialog) = 0;
  // Makes the printer ready to print; false when the user chose none.
  virtual bool ConfigurePrinter(QPrinter& printer) = 0;
};

}  // namespace ormid
