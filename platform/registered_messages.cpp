#include "platform/registered_messages.h"

#include <map>
#include <mutex>
#include <vector>

namespace korvale {
namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, std::uint32_t, std::less<>> numbers;
  std::vector<std::string> names;  // index = number - kFirstRegisteredMessage
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

std::uint32_t RegisterWindowMessage(std::string_view name) {
  if (name.empty() || name.size() > kMaxRegisteredNameLength) return 0;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (auto it = r.numbers.find(name); it != r.numbers.end()) return it->second;
  if (r.names.size() > kLastRegisteredMessage - kFirstRegisteredMessage) return 0;
  const auto number = static_cast<std::uint32_t>(kFirstRegisteredMessage + r.names.size());
  r.names.emplace_back(name);
  r.numbers.emplace(std::string(name), number);
  return number;
}

std::optional<std::uint32_t> FindRegisteredMessage(std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (auto it = r.numbers.find(name); it != r.numbers.end()) return it->second;
  return std::nullopt;
}

std::optional<std::string> RegisteredMessageName(std::uint32_t number) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (number < kFirstRegisteredMessage || number - kFirstRegisteredMessage >= r.names.size()) return std::nullopt;
  return r.names[number - kFirstRegisteredMessage];
}

}  // namespace korvale
