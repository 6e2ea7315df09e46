#pragma once
// The application's own message box: a title, a text and confirm (and
// cancel). Shown modally over its owner, which it stays above; it deletes
// itself once its window is gone.
#include <functional>
#include <string>
#include <string_view>

#include "ui/window.h"

namespace korvale {

// Buttons of ShowMessage.
inline constexpr int kMsgNotice = 0;   // confirm only
inline constexpr int kMsgConfirm = 1;  // confirm and cancel

class CMsgWnd : public WindowImplBase {
 public:
  CMsgWnd();
  ~CMsgWnd() override;

  std::string GetWindowClassName() const override { return "MsgWnd"; }
  std::string GetSkinFile() override { return "XML_MSG"; }

  // An empty text leaves the skin's own in place.
  void SetTitle(std::string_view text);
  // isTextId: text is a text ID of the language files, translated on show.
  void SetMessage(std::string_view text, bool isTextId);
  // kMsgNotice hides cancel, kMsgConfirm shows both; other modes change nothing.
  void SetButtons(int mode);
  // 48..192 in steps of 24; anything else is traced and taken as 96.
  void SetUiScale(int dpi);

  void OnClick(TNotifyUI& msg) override;

  // The message window being shown modally, or nullptr.
  static CMsgWnd* Showing();
  // Called with every message window just before it is shown modally (tests
  // answer it from here); an empty function removes the hook.
  static void SetOpenedHook(std::function<void(CMsgWnd&)> hook);

 protected:
  void OnFinalMessage(HWND hwnd) override;
};

// Opens a modal message window owned by parent; 1 when confirmed, 0 when
// cancelled or closed.
int ShowMessage(HWND parent, std::string_view title, std::string_view text, int dpi, bool isTextId, int mode);

// The word of a text ID with its first "%d" replaced by number (the text is
// never used as a printf format).
std::string TranslateTextId(std::string_view id, int number);

}  // namespace korvale
