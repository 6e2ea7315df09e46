#pragma once
// Whole-file writes that a crash can never tear: the bytes go to a temporary
// file in the same folder, are flushed and synced, then renamed over the old
// file and the folder is synced. Readers see the old file or the new one.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

// True on success. On failure the old file is untouched and a trace says why.
// A symbolic link is written through: its target is replaced, the link stays.
// A folder's temporary files left by killed writers (older than
// kStaleTempAge) are removed on this process's first write there, and again
// after kStaleTempAge.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// A writer still busy with its temporary file is never this slow.
inline constexpr std::chrono::seconds kStaleTempAge{300};
// ".<name>.XXXXXX": the naming of WriteFileAtomic's temporary files.
bool IsStaleTempName(std::string_view name);
// Removes our own regular files of that naming in dir older than minAge.
void RemoveStaleTempFiles(const std::filesystem::path& dir, std::chrono::seconds minAge);

// Whole file, or nothing when missing/unreadable, not a regular file (a FIFO,
// a device, a folder) or larger than maxBytes. Never blocks on the open.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path,
                                         std::size_t maxBytes = 64u << 20);

}  // namespace korvale
