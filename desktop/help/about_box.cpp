#include "desktop/help/about_box.h"

#include <QMessageBox>
#include <QtGlobal>

#include "manifest/run_manifest.h"
#include "setup/library_versions.h"
#include "setup/startup.h"

namespace ormid {

QString AboutText() {
  auto html = [](const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); };
  QString text = QString("<h3>Ormid %1</h3>").arg(html(ProgramVersionText()));
  text += QObject::tr(
      "<p>Long-term dietary exposure assessment of pesticide residues: the long-term module of "
      "the KAVRI-FCID pesticide risk assessment tools.</p>");
  text += QObject::tr("<p>Source revision: %1</p>").arg(html(SourceRevision()));
  text += QObject::tr("<p>Libraries, as the program runs with them:</p>");
  text += "<table cellspacing=\"2\">";
  auto row = [&text](const QString& name, const QString& version, bool fromBuild) {
    text += QString("<tr><td>%1</td><td>&nbsp;&nbsp;%2%3</td></tr>")
                .arg(name.toHtmlEscaped(), version.toHtmlEscaped(),
                     fromBuild ? QObject::tr(" (built with)") : QString());
  };
  row("Qt", QString::fromLatin1(qVersion()), false);
  for (const LibraryVersion& library : EngineLibraryVersions())
    row(QString::fromStdString(library.name), QString::fromStdString(library.version),
        library.fromBuild);
  text += "</table>";
  return text;
}

std::unique_ptr<QMessageBox> NewAboutBox(QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setObjectName("msgAbout");
  box->setWindowTitle(QObject::tr("About Ormid"));
  box->setTextFormat(Qt::RichText);
  box->setText(AboutText());
  box->setStandardButtons(QMessageBox::Ok);
  return box;
}

}  // namespace ormid
