#include "editors/shoot_control.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"

namespace korvale {
namespace {


// Event k (0-5) of a bullet.
MacroEvent BulletEvent(const Bullet& b, int k) {
  switch (k) {
    case 0: return {10, kMacroMouseButton, true, 1};
    case 1: return {0, kMacroMouseButton, false, 1};
    case 2: return {5, kMacroMoveX, b.left, b.x};
    case 3: return {b.delay, kMacroMoveY, b.up, b.y};
    case 4: return {0, kMacroMoveX, b.left, 0};
    default: return {0, kMacroMoveY, b.up, 0};
  }
}

bool IsDown(const Json::Value& action) {
  return action.isString() && ::strcasecmp(action.asCString(), "down") == 0;
}

}  // namespace

CShootControlUI::~CShootControlUI() = default;

CControlUI* CShootControlUI::Child(std::string_view name) const {
  return const_cast<CShootControlUI*>(this)->FindSubControl(name);
}
COptionUI* CShootControlUI::Option(std::string_view name) const { return dynamic_cast<COptionUI*>(Child(name)); }

std::filesystem::path CShootControlUI::GunFile(int gun) const { return ShootFilePath(folder_, gun); }

void CShootControlUI::InitShootEditor() {
  for (int g = 0; g < kShootGuns; ++g)
    if (ReadJsonFile(GunFile(g)).isNull()) ResetGun(g);
}

void CShootControlUI::SelectGun(int gun) {
  for (int g = 0; g < kShootGuns; ++g)
    if (COptionUI* o = Option(shootui::kGunPrefix + std::to_string(g))) o->Selected(false, false);
  gun_ = std::clamp(gun, 0, kShootGuns - 1);
  if (COptionUI* o = Option(shootui::kGunPrefix + std::to_string(gun_))) o->Selected(true, false);
  if (auto* pages = dynamic_cast<CTabLayoutUI*>(Child(shootui::kGunPages))) pages->SelectItem(gun_);
}

void CShootControlUI::SelectBullet(int bullet) {
  for (int b = 0; b < kShootBullets; ++b)
    if (COptionUI* o = Option(shootui::kBulletPrefix + std::to_string(b))) o->Selected(false, false);
  bullet_ = std::clamp(bullet, 0, kShootBullets - 1);
  if (COptionUI* o = Option(shootui::kBulletPrefix + std::to_string(bullet_))) o->Selected(true, false);
  if (CControlUI* l = Child(shootui::kBulletLabel)) l->SetText(std::to_string(bullet_ + 1));
  ShowBullet();
}

Bullet CShootControlUI::ReadBullet(int gun, int bullet) const {
  const Json::Value doc = ReadJsonFile(GunFile(gun));
  const Json::Value& events = JsonMember(doc, "Events");
  const Json::Value& x = JsonElement(events, static_cast<std::size_t>(6 * bullet + 2));
  const Json::Value& y = JsonElement(events, static_cast<std::size_t>(6 * bullet + 3));
  Bullet b;
  b.x = static_cast<uint8_t>(std::clamp(JsonInt(JsonMember(x, "Button")), 0, 255));
  b.y = static_cast<uint8_t>(std::clamp(JsonInt(JsonMember(y, "Button")), 0, 255));
  const Json::Value& d = JsonMember(y, "Delay");
  const int delay = d.isString() ? static_cast<int>(LeadingNumber(d.asString(), kMaxMacroDelay)) : JsonInt(d);
  b.delay = static_cast<uint16_t>(std::clamp(delay, 0, static_cast<int>(kMaxMacroDelay)));
  b.left = IsDown(JsonMember(x, "Action"));
  b.up = IsDown(JsonMember(y, "Action"));
  return b;
}

void CShootControlUI::ShowBullet() {
  if (bullet_ < 0) return;
  const Bullet b = ReadBullet(gun_, bullet_);
  if (COptionUI* o = Option(shootui::kXCheck)) o->Selected(b.left, false);
  if (COptionUI* o = Option(shootui::kYCheck)) o->Selected(b.up, false);
  UpdateXDirectionText();
  UpdateYDirectionText();
  if (CControlUI* c = Child(shootui::kXEdit)) c->SetText(std::to_string(b.x));
  if (CControlUI* c = Child(shootui::kYEdit)) c->SetText(std::to_string(b.y));
  if (CControlUI* c = Child(shootui::kDelayEdit)) c->SetText(std::to_string(b.delay));
}

void CShootControlUI::SaveBullet() {
  if (bullet_ < 0) return;
  auto text = [&](const char* name) {
    CControlUI* c = Child(name);
    return c == nullptr ? std::string() : std::string(c->GetText());
  };
  Bullet b;
  b.x = static_cast<uint8_t>(LeadingNumber(text(shootui::kXEdit), 255));
  b.y = static_cast<uint8_t>(LeadingNumber(text(shootui::kYEdit), 255));
  b.delay = static_cast<uint16_t>(LeadingNumber(text(shootui::kDelayEdit), kMaxMacroDelay));
  const COptionUI* xo = Option(shootui::kXCheck);
  const COptionUI* yo = Option(shootui::kYCheck);
  b.left = xo != nullptr && xo->IsSelected();
  b.up = yo != nullptr && yo->IsSelected();
  Json::Value doc = ReadJsonFile(GunFile(gun_));
  if (!doc.isObject()) doc = Json::Value(Json::objectValue);
  Json::Value& events = JsonObjectAt(doc, "Events");
  if (!events.isArray()) events = Json::Value(Json::arrayValue);
  // Bullets before this one that the file lacks become empty bullets, so the
  // file never holds gaps the device could not take.
  while (events.size() < static_cast<Json::ArrayIndex>(6 * bullet_))
    events.append(MacroEventJson(BulletEvent(Bullet{}, static_cast<int>(events.size() % 6)), true));
  for (int k = 0; k < kEventsPerBullet; ++k)
    JsonArrayAt(events, static_cast<std::size_t>(6 * bullet_ + k)) = MacroEventJson(BulletEvent(b, k), true);
  if (!TryWriteJsonFile(GunFile(gun_), doc)) Trace("shoot editor: %s could not be written", GunFile(gun_).c_str());
  // Show what was stored (a typed 300 reads back as 255).
  if (CControlUI* c = Child(shootui::kXEdit)) c->SetText(std::to_string(b.x));
  if (CControlUI* c = Child(shootui::kYEdit)) c->SetText(std::to_string(b.y));
  if (CControlUI* c = Child(shootui::kDelayEdit)) c->SetText(std::to_string(b.delay));
}

bool CShootControlUI::ResetGun(int gun) {
  lastError_.clear();
  if (gun < 0 || gun >= kShootGuns) return false;
  const auto from = ShootFilePath(defaultFolder_, gun);
  std::error_code ec;
  if (!std::filesystem::exists(from, ec)) {
    lastError_ = "the default file " + from.string() + " is missing; the gun's file was kept";
    Trace("shoot editor: %s", lastError_.c_str());
    return false;
  }
  const bool ok = CopyFileChecked(from, GunFile(gun), lastError_);
  if (gun == gun_) ShowBullet();
  return ok;
}

bool CShootControlUI::ImportShootFile(const std::filesystem::path& source) {
  lastError_.clear();
  if (source.empty()) return false;
  const MacroEventsRead read = ReadMacroEvents(source, false);
  if (!read.ok()) {
    lastError_ = source.filename().string() + ": " + read.error;
    return false;
  }
  if (!CopyFileChecked(source, GunFile(gun_), lastError_)) return false;
  ShowBullet();
  return true;
}

bool CShootControlUI::ExportShootFile(const std::filesystem::path& destination) {
  lastError_.clear();
  if (destination.empty()) return false;
  return CopyFileChecked(GunFile(gun_), destination, lastError_);
}

void CShootControlUI::UpdateXDirectionText() {
  if (COptionUI* o = Option(shootui::kXCheck))
    o->SetText(o->IsSelected() ? "mouse_move_to_left_text" : "mouse_move_to_right_text");
}

void CShootControlUI::UpdateYDirectionText() {
  if (COptionUI* o = Option(shootui::kYCheck))
    o->SetText(o->IsSelected() ? "mouse_move_to_up_text" : "mouse_move_to_down_text");
}

void RegisterShootControl() {
  CControlFactory::GetInstance().RegistControl("CShootControlUI", [] { return static_cast<CControlUI*>(new CShootControlUI()); });
}

}  // namespace korvale
