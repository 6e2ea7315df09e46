#pragma once
// The values korvalectl takes by name: effects from the product's effect
// table, report rates in Hz, repeat delays in ms, on/off flags. Each setting
// is one table of choices; a bare index is still accepted where the window
// numbers its options, and a bad word is answered with the list of good ones.
#include <optional>
#include <string>
#include <vector>

namespace korvale::cli {

// One accepted word and the value it stands for.
struct Choice {
  std::string word;
  int value = 0;
  bool alias = false;  // accepted, but not listed
};

// An option's accepted values: a list of words, or a range of numbers.
struct ValueSet {
  std::string unit;             // "Hz", "ms" or empty; the word may end with it
  std::vector<Choice> choices;  // empty: any whole number in [lo, hi]
  int lo = 0, hi = 0;
  bool indexToo = false;        // "0".."n-1" pick the n-th choice as well

  // The value for a word, in any letter case; nothing when it is not one.
  std::optional<int> Pick(const std::string& text) const;
  // "125, 250, 500 or 1000 Hz" / "0-4": what Pick takes, for messages and --list.
  std::string Describe() const;
};

ValueSet Range(int lo, int hi);
ValueSet OnOff();

// The keyboard's polling rate options by index, the mouse's report rates.
ValueSet KeyboardReportRates();
ValueSet MouseReportRates();
// The four repeat delays of the keyboard's settings page.
ValueSet RepeatDelays();
int RepeatDelayMs(int index);  // 250 + 250 × index; out-of-range indices show as 0
int KeyboardReportRateHz(int index);
// 0 to the right, 1 to the left.
ValueSet Directions();
const char* DirectionName(int direction);

// One entry of a product's effect table.
struct EffectChoice {
  int index = 0;     // position in the table: what the profile stores
  std::string name;  // "wave", "vertical-wave": the text id without "light_mode_"
  int value = 0;     // the device's mode value
  bool visible = false;
};
// The effect table of a product row from the installed default_light.json;
// empty when the file or the product's list is missing.
std::vector<EffectChoice> EffectChoices(int productRow);
// The command-line name of an effect's text id.
std::string EffectName(const std::string& textId);
// The effects a name or index picks: by name only the visible ones (the
// lighting editor shows no others); by index any entry of the table.
std::optional<int> PickEffect(const std::vector<EffectChoice>& effects, const std::string& text);
// "wave, vertical-wave, ..." of the visible effects.
std::string EffectNames(const std::vector<EffectChoice>& effects);

}  // namespace korvale::cli
