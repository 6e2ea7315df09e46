#pragma once
// Skin image strings to pixmaps. An image string is a file name relative to
// the skin's resource folder, a resource name from res.xml, or the
// attribute form "file='name' source='l,t,r,b' fade='n' ...".
#include <QPixmap>
#include <QRect>
#include <string>
#include <string_view>

class QPainter;

namespace korvale::qtview {

struct ImageSpec {
  std::string file;
  QRect source;     // empty: the whole image
  int fade = 255;   // 0-255
};

ImageSpec ParseImageSpec(std::string_view text);

// The image, or a null pixmap when the string is empty or names no readable
// picture (missing pictures are traced once each).
QPixmap LoadSkinImage(std::string_view text, ImageSpec* spec = nullptr);

// Draws a skin image string into target; false when there is nothing to draw.
bool DrawSkinImage(QPainter& painter, const QRect& target, std::string_view text, int extraFade = 255);

}  // namespace korvale::qtview
