// Where the program keeps its files, chosen once at start-up.
#pragma once

#include <string>

// The all-users data folder with a trailing separator, so that file names can be appended.
std::string dataFolderPath();
void setDataFolder(const std::string& folder);

// The caption of every message box: the base name of the program file.
std::string applicationName();
void setApplicationName(const std::string& programPath);
