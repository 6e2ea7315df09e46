#include "windows/skin_frame.h"

#include <cctype>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "profiles/settings_files.h"
#include "ui/containers.h"

namespace korvale {

SkinChangedObserver& SkinObserver() {
  static SkinChangedObserver observer;
  return observer;
}

std::filesystem::path SkinRecordPath() { return AppDataFolder() / "main.ini"; }

namespace {

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  return s.substr(b);
}

std::string Hex8(DWORD v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 0xF];
  return s;
}

}  // namespace

std::optional<SkinChoice> ReadSkinChoice(const std::filesystem::path& path) {
  const auto bytes = ReadFileBytes(path, 1u << 20);
  if (!bytes) return std::nullopt;
  std::istringstream in(*bytes);
  bool inSection = false;
  std::string flags, image;
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      inSection = EqualsNoCase(Trim(line.substr(1, line.size() - 2)), "SKINIMAGE");
      continue;
    }
    const auto eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (EqualsNoCase(key, "FLAGS")) flags = value;
    if (EqualsNoCase(key, "IMAGE")) image = value;
  }
  SkinChoice c;
  if (flags == "0") {
    c.image = kDefaultBackground;
  } else if (flags == "1" && !image.empty()) {
    c.image = image;
  } else if (flags == "2") {
    const auto colour = ParseHexColour(image);
    if (!colour || image.size() != 8) {
      Trace("skin: main.ini colour \"%s\" is no colour; ignored", image.c_str());
      return std::nullopt;
    }
    c.useColour = true;
    c.colour = *colour;
  } else {
    if (!flags.empty()) Trace("skin: main.ini FLAGS \"%s\" is not ours; ignored", flags.c_str());
    return std::nullopt;
  }
  return c;
}

bool WriteSkinChoice(const SkinChoice& choice, const std::filesystem::path& path) {
  // FLAGS 2 keeps a colour in IMAGE as 8 hexadecimal digits.
  if (choice.useColour) return WriteSkinImageRecord("2", Hex8(choice.colour), path);
  const bool reset = choice.image == kDefaultBackground;
  return WriteSkinImageRecord(reset ? "0" : "1", choice.image, path);
}

CSkinFrame::CSkinFrame(CControlUI* anchor, HWND owner) : anchor_(anchor), owner_(owner) {}

HWND CSkinFrame::Open(CControlUI* anchor, HWND owner) {
  auto* frame = new CSkinFrame(anchor, owner);
  const HWND h = frame->Create(owner, "skinframe", 0x90000000, 0x08000088);
  if (h == 0) {
    delete frame;
    return 0;
  }
  frame->ShowWindow(true);
  return h;
}

void CSkinFrame::OnFinalMessage(HWND) { delete this; }

void CSkinFrame::InitWindow() {
  // Right-aligned under the anchor, in screen coordinates.
  const UiSize size = m_pm.GetInitSize();
  UiRect ownerRect;
  if (CWindowWnd* o = CWindowWnd::FromHandle(owner_)) ownerRect = o->GetWindowRect();
  UiRect a = anchor_ != nullptr ? anchor_->GetPos() : UiRect{};
  if (a.IsEmpty()) a = UiRect{0, 0, ownerRect.right - ownerRect.left, 44};
  const int left = ownerRect.left + a.right - size.cx;
  const int top = ownerRect.top + a.bottom;
  MoveWindow(UiRect{left, top, left + size.cx, top + size.cy});
}

void CSkinFrame::Choose(const SkinChoice& choice, bool record) {
  SkinChangedParam p;
  p.useColour = choice.useColour;
  p.colour = choice.colour;
  p.image = choice.image;
  SkinObserver().Broadcast(p);
  if (record && !WriteSkinChoice(choice, SkinRecordPath())) Trace("skin: main.ini not written");
}

void CSkinFrame::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  CControlUI* sender = msg.pSender;
  const std::string name = sender->GetName();
  if (EqualsNoCase(name, "skin_image_btn")) {
    Choose(SkinChoice{false, 0, std::string(sender->GetUserData())}, true);
  } else if (EqualsNoCase(name, "skin_color_btn")) {
    Choose(SkinChoice{true, sender->GetBkColor(), {}}, true);
  } else if (EqualsNoCase(name, "skin_color") || EqualsNoCase(name, "skin_image")) {
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("skin_tab")))
      tab->SelectItem(EqualsNoCase(name, "skin_color") ? 1 : 0);
  } else if (EqualsNoCase(name, "skin_reset")) {
    Choose(SkinChoice{false, 0, kDefaultBackground}, true);
  } else if (EqualsNoCase(name, "closebtn")) {
    Close(0);
  }
}

LRESULT CSkinFrame::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, bool& bHandled) {
  // Losing the focus closes the popup, without any choice.
  if (msg == wm::kActivate && wParam == 0) {
    Close(0);
    bHandled = true;
  }
  return 0;
}

}  // namespace korvale
