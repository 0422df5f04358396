#pragma once

#include <string>

/// @brief Where the program's files live, one rule for every program of the project
/// (the window program, the command line), so they always agree.
namespace vtpaths {

/// The data file that belongs to an executable: beside it, same base name, extension
/// "DAT" — whenever that file exists or its folder can be written. An executable
/// installed in a folder the user cannot write (/usr/bin) keeps its roster in the
/// per-user data folder instead: ~/.local/share/TORVANE/VT Server/<base>.DAT.
std::string DataFilePath(const std::string& strExePath);

/// The per-user folder that DataFilePath falls back to (not created here).
std::string UserDataFolder();

/// The single-instance lock: $VT_LOCK_FILE when set, else TORVANE-VT-Server.lock in this
/// user's runtime folder ($XDG_RUNTIME_DIR), else in ~/.config/TORVANE; only a folder of
/// this user that nobody else may write is taken (a missing one is created 0700), so only
/// this user's own running copy blocks a start. Empty when there is no such folder.
std::string InstanceLockPath();

} // namespace vtpaths
