#pragma once
// The shoot-sequence editor ("ShootControlItem"): four guns of 30 bullets,
// each gun a shoot file in the device folder. A bullet is six events of the
// file (left press, release, the X and Y recoil moves with the delay, two
// zero moves); the editor reads and writes one bullet at a time and leaves
// the rest of the file as it is.
#include <cstdint>
#include <filesystem>
#include <string>

#include "devices/page_hooks.h"
#include "ui/containers.h"

namespace korvale {

class COptionUI;

namespace shootui {
inline constexpr const char* kEditorName = "ShootControlItem";
inline constexpr const char* kGunPrefix = "shoot_gun_op_";
inline constexpr const char* kBulletPrefix = "bullet_op_";
inline constexpr const char* kGunPages = "shoot_image_display_switch";
inline constexpr const char* kBulletLabel = "bullet_select_index";
inline constexpr const char* kXCheck = "bullet_x_check";
inline constexpr const char* kYCheck = "bullet_y_check";
inline constexpr const char* kXEdit = "bullet_x_eidt";
inline constexpr const char* kYEdit = "bullet_y_eidt";
inline constexpr const char* kDelayEdit = "bullet_delay_eidt";
}  // namespace shootui

struct Bullet {
  uint8_t x = 0, y = 0;
  uint16_t delay = 0;
  bool left = false;  // X direction "down": to the left
  bool up = false;    // Y direction "down": upwards
};

class CShootControlUI : public CHorizontalLayoutUI, public IShootEditorHooks {
 public:
  CShootControlUI() = default;
  ~CShootControlUI() override;
  std::string GetClass() const override { return "ShootControl"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ShootControl") || CHorizontalLayoutUI::IsClass(cls);
  }

  void SetShootFolder(const std::filesystem::path& folder) override { folder_ = folder; }
  void SetShootDefaultFolder(const std::filesystem::path& folder) override { defaultFolder_ = folder; }
  const std::filesystem::path& GetShootFolder() const { return folder_; }
  // Recreates every missing or unreadable shoot file from its default.
  void InitShootEditor() override;
  void SelectGun(int gun) override;
  void SelectBullet(int bullet) override;
  int GetSelectedGun() const { return gun_; }
  int GetSelectedBullet() const { return bullet_; }
  void ShowBullet();
  // Writes the selected bullet from the boxes (distances clamped to 0-255,
  // the delay to 0-65535, shown back as stored).
  void SaveBullet();
  // False when the default file is missing (the user's file is kept).
  bool ResetGun(int gun);
  // False (LastError says why) when the file is not a shoot file or cannot be copied.
  bool ImportShootFile(const std::filesystem::path& source);
  bool ExportShootFile(const std::filesystem::path& destination);
  void UpdateXDirectionText();
  void UpdateYDirectionText();

  // Bullet b of gun g as stored in its file (zeros where events are missing).
  Bullet ReadBullet(int gun, int bullet) const;
  std::filesystem::path GunFile(int gun) const;
  const std::string& LastError() const { return lastError_; }

 private:
  CControlUI* Child(std::string_view name) const;
  COptionUI* Option(std::string_view name) const;

  std::filesystem::path folder_;
  std::filesystem::path defaultFolder_;
  int gun_ = 0;
  int bullet_ = -1;
  std::string lastError_;
};

void RegisterShootControl();

}  // namespace korvale
