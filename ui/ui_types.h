#pragma once
// Basic value types of the control model: strings, rectangles, colours and
// the message parameter types windows exchange.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvale {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD = std::uint32_t;
// A window handle: a process-unique number, never reused, so a worker thread
// holding a stale handle reaches nothing.
using HWND = std::uint64_t;

// UTF-8 string with the few helpers the pages use.
class CDuiString : public std::string {
 public:
  using std::string::string;
  CDuiString() = default;
  CDuiString(const std::string& s) : std::string(s) {}
  CDuiString(std::string&& s) : std::string(std::move(s)) {}
  CDuiString(std::string_view s) : std::string(s) {}

  bool IsEmpty() const { return empty(); }
  const char* GetData() const { return c_str(); }
  int GetLength() const { return static_cast<int>(size()); }
  void Empty() { clear(); }
  void Append(std::string_view s) { append(s); }
  // 0 when equal ignoring ASCII case, else <0 / >0 like strcmp.
  int CompareNoCase(std::string_view other) const;
  CDuiString& MakeLower();
  CDuiString& MakeUpper();
  // printf-style; replaces the content.
  int Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  static CDuiString Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
};

bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view s);
// The number of an indexed control name: "key_12" with prefix "key_" gives
// 12. The name must be the prefix (case ignored unless exact) followed by
// decimal digits only; anything else gives nothing.
std::optional<int> IndexAfterPrefix(std::string_view name, std::string_view prefix, bool exact = false);

struct UiPoint {
  int x = 0;
  int y = 0;
  bool operator==(const UiPoint&) const = default;
};

struct UiSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const UiSize&) const = default;
};

struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const UiRect&) const = default;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(UiPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  // Overlap of two non-empty rectangles (shared edges do not count).
  bool Intersects(const UiRect& o) const {
    return !IsEmpty() && !o.IsEmpty() && left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  // The rectangle spanned by two corner points, whatever their order.
  static UiRect Spanning(UiPoint a, UiPoint b);
};

// Parses "#AARRGGBB", "0xAARRGGBB", "AARRGGBB" or "RRGGBB" (opaque).
// Returns false and leaves out alone for anything else.
bool ParseColor(std::string_view text, DWORD* out);
// Parses "l,t,r,b" (missing parts are 0); false when not numbers.
bool ParseRect(std::string_view text, UiRect* out);
// Parses "cx,cy".
bool ParseSize(std::string_view text, UiSize* out);
// Parses a whole decimal integer (optional sign).
bool ParseInt(std::string_view text, int* out);
bool ParseBool(std::string_view text);

// Window messages used by the model (the numbers of the Windows design, so
// message tables keep their values).
namespace wm {
constexpr UINT kCreate = 0x0001;
constexpr UINT kDestroy = 0x0002;
constexpr UINT kMove = 0x0003;
constexpr UINT kSize = 0x0005;
constexpr UINT kActivate = 0x0006;
constexpr UINT kClose = 0x0010;
constexpr UINT kShowWindow = 0x0018;
// Posted once by a renderer that paints, after a window's first paint.
constexpr UINT kPaint = 0x000F;
constexpr UINT kCopyData = 0x004A;
constexpr UINT kKeyDown = 0x0100;
constexpr UINT kTimer = 0x0113;
constexpr UINT kSysCommand = 0x0112;
constexpr UINT kMouseMove = 0x0200;
constexpr UINT kLButtonDown = 0x0201;
constexpr UINT kLButtonUp = 0x0202;
constexpr UINT kRButtonUp = 0x0205;
constexpr UINT kMouseHover = 0x02A1;
constexpr UINT kMouseLeave = 0x02A3;
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT kDisplayChange = 0x007E;
constexpr UINT kPowerBroadcast = 0x0218;
constexpr UINT kUser = 0x0400;
}  // namespace wm

// WM_SYSCOMMAND wParam values.
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Results of modal windows.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

}  // namespace korvale
