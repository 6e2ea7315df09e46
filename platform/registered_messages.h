#pragma once
// Stand-in for RegisterWindowMessage: a name gets a number from 0xC000 up,
// the same number for the same name for the life of the process. Numbers are
// private to a process; peers exchange the names (see message_bus.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;
constexpr std::uint32_t kLastRegisteredMessage = 0xFFFF;
// Longest name accepted (also the bus's limit for a name in a frame).
constexpr std::size_t kMaxRegisteredNameLength = 255;

// The number for name, registering it on first use. 0 when the name is empty,
// too long, or the range is used up. Thread-safe.
std::uint32_t RegisterWindowMessage(std::string_view name);
// The number of a name already registered, without registering it.
std::optional<std::uint32_t> FindRegisteredMessage(std::string_view name);
// The name behind a registered number, if any.
std::optional<std::string> RegisteredMessageName(std::uint32_t number);

}  // namespace korvale
