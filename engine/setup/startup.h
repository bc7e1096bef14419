// Start-up of the module: the working folder, the support list and the
// checks of the installation's files, the setup file, the food-form and crop
// group description file, the master lists and the subgroup reporting order.
//
// Every function that can fail shows its message through the platform and
// returns false; a false return from start-up ends the program.
#pragma once

#include <string>

namespace ormid {

struct ModOrmid;
class Platform;

// "4.01": major, ".", minor and revision, as reports, manifests and the
// window caption write the version.
std::string ProgramVersionText();
// "4.0.1": the same version as the package and --version give it.
std::string PackageVersionText();

// Repeats the folder prompt until the current directory holds the support
// list. False when the user cancelled (the program ends).
bool FindWorkingFolder(ModOrmid& m, Platform& p);

bool ReadSupportList(ModOrmid& m, Platform& p);
bool ReadSetupFile(ModOrmid& m, Platform& p);
bool ReadFoodFormFile(ModOrmid& m, Platform& p);
bool LoadMasterLists(ModOrmid& m, Platform& p);
void BuildPopOrder(ModOrmid& m);
// Support list, setup file, description file and the reporting order.
bool InitEnvironment(ModOrmid& m, Platform& p);

// The main window's caption for the survey base ("" keeps the design caption).
std::string WindowCaption(const ModOrmid& m);

// The whole start-up without the window: version, working folder (the prompt
// only when askForFolder is set), environment, PAD sizing, master lists.
bool StartUp(ModOrmid& m, Platform& p, bool askForFolder);

}  // namespace ormid
