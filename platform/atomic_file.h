#pragma once
// Whole-file writes that a crash can never tear: the bytes go to a temporary
// file in the same folder, are flushed and synced, then renamed over the old
// file and the folder is synced. Readers see the old file or the new one.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

// True on success. On failure the old file is untouched and a trace says why.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// Whole file, or nothing when missing/unreadable or larger than maxBytes.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path,
                                         std::size_t maxBytes = 64u << 20);

}  // namespace korvale
