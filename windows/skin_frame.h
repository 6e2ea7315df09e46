#pragma once
// The skin picker: a popup under the main window's skin button that changes
// the main window's background to a colour or an image. Every choice goes to
// the receivers of the skin-changed observer and is kept in "main.ini".
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "ui/window.h"

namespace korvale {

struct SkinChangedParam {
  bool useColour = false;
  DWORD colour = 0;   // ARGB, when useColour
  std::string image;  // skin-relative or absolute path, when not
};

template <class R, class P>
class ObserverImpl;

template <class R, class P>
class ReceiverImpl {
 public:
  virtual ~ReceiverImpl() { RemoveFromObservers(); }
  void AddObserver(ObserverImpl<R, P>* o) { observers_[o] = true; }
  void RemoveFromObservers() {
    auto copy = observers_;
    observers_.clear();
    for (auto& [o, _] : copy) o->RemoveReceiver(this);
  }
  void ForgetObserver(ObserverImpl<R, P>* o) { observers_.erase(o); }
  virtual R Receive(const P&) { return R{}; }
  virtual R Respond(const P&) { return R{}; }

 private:
  std::map<ObserverImpl<R, P>*, bool> observers_;
};

template <class R, class P>
class ObserverImpl {
 public:
  ~ObserverImpl() {
    for (auto& [_, r] : receivers_) r->ForgetObserver(this);
  }
  void AddReceiver(ReceiverImpl<R, P>* r) {
    receivers_[next_++] = r;
    r->AddObserver(this);
  }
  void RemoveReceiver(ReceiverImpl<R, P>* r) {
    for (auto it = receivers_.begin(); it != receivers_.end();)
      it = it->second == r ? receivers_.erase(it) : std::next(it);
  }
  void Broadcast(const P& p) {
    for (auto& [_, r] : receivers_) r->Receive(p);
  }
  void Notify(const P& p) {
    for (auto& [_, r] : receivers_) r->Respond(p);
  }

 private:
  std::map<int, ReceiverImpl<R, P>*> receivers_;
  int next_ = 0;
};

using SkinChangedReceiver = ReceiverImpl<int, SkinChangedParam>;
using SkinChangedObserver = ObserverImpl<int, SkinChangedParam>;
// The application-wide observer.
SkinChangedObserver& SkinObserver();

// The default background and the record of the last choice.
inline constexpr const char* kDefaultBackground = "common/background.png";
struct SkinChoice {
  bool useColour = false;
  DWORD colour = 0;
  std::string image;
};
// "main.ini": FLAGS 0 reset, 1 image, 2 colour (COLOR as 8 hex digits); nothing
// when the file is missing or its values are not ours.
std::optional<SkinChoice> ReadSkinChoice(const std::filesystem::path& path);
bool WriteSkinChoice(const SkinChoice& choice, const std::filesystem::path& path);
std::filesystem::path SkinRecordPath();  // AppDataFolder()/main.ini

class CSkinFrame : public WindowImplBase {
 public:
  // anchor: the owner's control the popup opens under.
  CSkinFrame(CControlUI* anchor, HWND owner);

  std::string GetWindowClassName() const override { return "UISkinFrame"; }
  std::string GetSkinFile() override { return "skin.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // Opens the popup owned by owner under anchor; the popup deletes itself
  // when it closes. Returns its handle.
  static HWND Open(CControlUI* anchor, HWND owner);

 protected:
  void OnFinalMessage(HWND hwnd) override;

 private:
  void Choose(const SkinChoice& choice, bool record);

  CControlUI* anchor_;
  HWND owner_;
};

}  // namespace korvale
