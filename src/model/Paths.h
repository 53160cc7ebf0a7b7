// Where the program keeps its files: the data folder "VideoLib" inside a base
// folder, the start-up profile in it and the network settings file beside it.
#pragma once

#include <string>

namespace panora {

// PANORA_HOME when set; else the executable's folder when it is writable;
// else $XDG_DATA_HOME/panora (default ~/.local/share/panora).
std::string BaseFolder();
// BaseFolder + "/VideoLib", created (with its parents) when missing; a failure
// to create it is ignored, later reads and writes then report it.
std::string DataFolder();
// DataFolder + "/default.cfg".
std::string StartupProfilePath();
// The data folder's path with "config.ini" appended, i.e. ".../VideoLibconfig.ini"
// beside the data folder: installations rely on that name.
std::string NetSettingsPath();

// The choice BaseFolder makes, from its inputs (null or empty = unset).
std::string ChooseBaseFolder(const char* panoraHome, const std::string& exeFolder, bool exeFolderWritable,
                             const char* xdgDataHome, const char* home);
// The folder of the running executable, or "" when it cannot be found.
std::string ExecutableFolder();
// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string& path);

}  // namespace panora
