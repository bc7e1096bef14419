// Residue files (.R98 CSFII, .R1D NHANES one-day, .R10 NHANES two-day): the
// open action and the reader that fills the residue table.
#pragma once

#include <string>

namespace ormid {

struct ModOrmid;
struct ResidueFile;
class Platform;

// Reads m.gResidueFileName into the residue table. Sets failed to 1 when the
// file is refused (its message already shown); leaves it alone on success.
// items, when given, also receives every item of the file as it was read
// (the header items the analyses skip, the entry texts and chemical values,
// the codes untrimmed), so that the file can be written again as it was.
void ReadResidueFile(ModOrmid& m, Platform& p, int& failed, ResidueFile* items = nullptr);
// The same for the file's contents, already read: the messages still name
// m.gResidueFileName.
void ReadResidueText(ModOrmid& m, Platform& p, std::string text, int& failed,
                     ResidueFile* items = nullptr);

// The open action: file dialog (with the path error loop), reading, and the
// state that follows a successful open. Sets cancelled to 1 when no file was
// opened. The caller shows the file on the window when cancelled stays 0.
void OpenResidueFile(ModOrmid& m, Platform& p, int& cancelled);
// The same for a file named without a dialog (the command line, a batch
// scenario): false when it was not opened, with the same messages.
bool OpenNamedResidueFile(ModOrmid& m, Platform& p, const std::string& path);

// The open dialog's filter for the installation's survey base ("" for none).
std::string ResidueFileFilter(int surveyBase);

// The file name as the window shows it: without folders and drive, and
// "..." followed by its last 47 characters when longer than 50.
std::string ResidueFileLabel(const std::string& path);

}  // namespace ormid
