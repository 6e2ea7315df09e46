#pragma once
// Where things live on Linux: the installed data folder (skin, DefaultData,
// Font) and the XDG folders that stand in for the per-user Windows folders.
#include <filesystem>

namespace korvale {

// Folder holding the running executable.
std::filesystem::path ExecutableDir();

// share/korvale: next to the executable in the build tree (bin/../share/korvale),
// else the install prefix's.
std::filesystem::path InstallDataDir();

// $XDG_DATA_HOME or ~/.local/share
std::filesystem::path XdgDataHome();
// $XDG_CONFIG_HOME or ~/.config
std::filesystem::path XdgConfigHome();
// $XDG_RUNTIME_DIR, else /tmp/korvale-<uid> (created 0700); empty when that
// fallback is refused by EnsurePrivateDir.
std::filesystem::path XdgRuntimeDir();

// A folder in a place others can write to (/tmp): created 0700 when missing;
// refused, with a message on stderr, when it is not a real folder of this
// user or others may open it. True when it may be used.
bool EnsurePrivateDir(const std::filesystem::path& dir);

// Creates dir (and parents) with the given mode; true when it exists afterwards.
bool EnsureDir(const std::filesystem::path& dir, unsigned mode = 0755);

// True when `candidate` names something inside `root` after resolving "." and
// "..": used before touching any file whose name came from file contents.
bool IsInside(const std::filesystem::path& root, const std::filesystem::path& candidate);

// A bare file name: no separators, not "." or "..", not empty, no NUL.
bool IsPlainFileName(const std::string& name);

}  // namespace korvale
