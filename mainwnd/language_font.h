#pragma once
// The font face a language needs: scripts the default face lacks (Chinese,
// Thai) get their own, chosen from the language itself, so the order of the
// language list does not matter.
#include <cstdint>
#include <string>

namespace korvale {

// Language identifiers as "Language.config" and the stored "LANGUAGE" value
// give them (Windows LCIDs); -1 for none.
// The face to install when switching from `previousId` to `languageId`:
// the language's own face, "Arial" when leaving a language with its own face
// (or at the first switch), empty to keep the fonts as they are.
std::string FontFaceForLanguage(int64_t languageId, int64_t previousId);

}  // namespace korvale
