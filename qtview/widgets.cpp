#include "qtview/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QHash>
#include <QRubberBand>
#include <QStyleOption>
#include <cmath>

#include "qtview/images.h"

namespace korvale::qtview {

namespace {

// The style's one accent and its surfaces; the style sheet uses the same.
const QColor kAccent(0x2E, 0x9B, 0xFF);
const QColor kSurface(0x26, 0x2A, 0x33);
const QColor kSurfaceHot(0x30, 0x35, 0x40);
const QColor kEdge(0x3A, 0x40, 0x4C);
const QColor kText(0xE3, 0xE6, 0xEB);
const QColor kMuted(0x8A, 0x91, 0x9E);

QRect ToQRect(const UiRect& r, const QPoint& origin) {
  return QRect(r.left - origin.x(), r.top - origin.y(), r.Width(), r.Height());
}

// Where this widget's model sits in window coordinates: the model's own
// position, mapped back into the widget.
QPoint ModelOrigin(const CControlUI* control) { return QPoint(control->GetPos().left, control->GetPos().top); }

void DrawStyledBackground(QWidget* w, QPainter& p) {
  QStyleOption opt;
  opt.initFrom(w);
  w->style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, w);
}

// A small picture glyph where a skin picture is missing.
void DrawMissingPicture(QPainter& p, const QRect& area) {
  const int side = std::min(28, std::min(area.width(), area.height()) - 4);
  if (side < 10) return;
  QRectF box(area.center().x() - side / 2.0, area.center().y() - side / 2.0, side, side * 0.8);
  p.setPen(QPen(kMuted, 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(box, 3, 3);
  QPainterPath hills;
  hills.moveTo(box.left() + 2, box.bottom() - 2);
  hills.lineTo(box.left() + side * 0.35, box.top() + side * 0.35);
  hills.lineTo(box.left() + side * 0.6, box.bottom() - side * 0.25);
  hills.lineTo(box.left() + side * 0.75, box.top() + side * 0.45);
  hills.lineTo(box.right() - 2, box.bottom() - 2);
  p.drawPath(hills);
  p.drawEllipse(QPointF(box.right() - side * 0.25, box.top() + side * 0.22), side * 0.07, side * 0.07);
}

}  // namespace

QColor ToQColor(DWORD argb) {
  return QColor((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, (argb >> 24) & 0xFF);
}

// ---- containers ----

ContainerWidget::ContainerWidget(CControlUI* control, QWidget* parent) : QWidget(parent), control_(control) {
  setAttribute(Qt::WA_StyledBackground, true);
  if (control->IsClass("SelectPanel")) {
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    band_->hide();
  }
}

void ContainerWidget::SyncBand() {
  auto* panel = dynamic_cast<CSelectPanelUI*>(control_);
  if (band_ == nullptr || panel == nullptr) return;
  if (!panel->IsBandActive()) {
    band_->hide();
    return;
  }
  band_->setGeometry(ToQRect(panel->GetBand(), ModelOrigin(panel)));
  band_->raise();
  band_->show();
}

void ContainerWidget::KeyDirty(const QRect& rect) {
  dirty_ |= rect;
  if (flushQueued_) return;
  flushQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        flushQueued_ = false;
        update(dirty_);
        dirty_ = QRect();
      },
      Qt::QueuedConnection);
}

void ContainerWidget::PaintBackground(QPainter& p) {
  DrawStyledBackground(this, p);
  if (control_->GetBkColor() != 0) p.fillRect(rect(), ToQColor(control_->GetBkColor()));
  if (!control_->GetBkImage().empty()) DrawSkinImage(p, rect(), control_->GetBkImage());
}

void ContainerWidget::UpdateOpacity() {
  if (band_ == nullptr || size().isEmpty()) return;  // key panels only
  QImage probe(size(), QImage::Format_ARGB32_Premultiplied);
  probe.fill(Qt::transparent);
  {
    QPainter p(&probe);
    PaintBackground(p);
  }
  bool opaque = true;
  for (int y = 0; y < probe.height() && opaque; ++y) {
    auto* line = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
    for (int x = 0; x < probe.width(); ++x) {
      if (qAlpha(line[x]) != 255) {
        opaque = false;
        break;
      }
    }
  }
  setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

void ContainerWidget::resizeEvent(QResizeEvent*) { UpdateOpacity(); }

void ContainerWidget::RefreshLook() {
  UpdateOpacity();
  update();
}

void ContainerWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange) UpdateOpacity();
  QWidget::changeEvent(event);
}

bool ContainerWidget::event(QEvent* event) {
  bool done = QWidget::event(event);
  // The style sheet's look is known only once the widget is polished.
  if (event->type() == QEvent::Polish) UpdateOpacity();
  return done;
}

void ContainerWidget::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  PaintBackground(p);
  if (auto* item = dynamic_cast<CCloudShareListItemUI*>(control_); item != nullptr && item->IsHotBorderShown()) {
    DWORD hot = item->GetHotBorderColor();
    p.setPen(hot != 0 ? ToQColor(hot) : kAccent);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  // The keys on this container, in stacking order.
  for (QObject* child : children()) {
    auto* key = dynamic_cast<KeyButtonWidget*>(child);
    if (key == nullptr || !key->isVisibleTo(this) || !event->region().intersects(key->geometry())) continue;
    // Keys draw inside their own rectangle (no clipping needed) and leave
    // the painter's state as they found it.
    p.translate(key->pos());
    key->PaintInto(p);
    p.translate(-key->pos());
  }
}

// ---- device key button ----

KeyButtonWidget::KeyButtonWidget(CDeviceKeyButtonUI* control, QWidget* parent, bool parentDraws)
    : QWidget(parent), control_(control) {
  setAttribute(Qt::WA_Hover, true);
  drawnByParent_ = parentDraws && dynamic_cast<ContainerWidget*>(parent) != nullptr;
  // No paint events of its own: the container paints it.
  if (drawnByParent_) setUpdatesEnabled(false);
}

void KeyButtonWidget::RequestPaint() {
  if (drawnByParent_) {
    static_cast<ContainerWidget*>(parentWidget())->KeyDirty(geometry());
  } else {
    update();
  }
}

void KeyButtonWidget::paintEvent(QPaintEvent*) {
  if (drawnByParent_) return;
  QPainter p(this);
  PaintInto(p);
}

const QImage& KeyButtonWidget::TintedLight(const QPixmap& light, QColor color) {
  if (tintedKey_ != light.cacheKey() || tintedColor_ != color || tinted_.size() != light.size()) {
    tinted_ = light.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tp(&tinted_);
    tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tp.fillRect(tinted_.rect(), color);
    tintedKey_ = light.cacheKey();
    tintedColor_ = color;
  }
  return tinted_;
}

// Where a key's light is filled: the cap body less a margin wide enough that
// the rectangle's corners stay inside the rounded body. The cap above it lets
// the light through only along its edge (and a little within).
QRect LitArea(QSize size) {
  const int in = std::min(4, std::max(1, std::min(size.width(), size.height()) / 6));
  return QRect(QPoint(0, 0), size).adjusted(in, in, -in, -in);
}

// The key cap, drawn once per size and state and shared by every key, so a
// lighting frame only fills one rectangle and blits this above it. The lit
// variant stays dark where the legend is, whatever the light's colour: the
// light shows as a rim along the cap's edge fading inwards, like a key lit
// from beneath, and only faintly tints the middle.
QImage KeyCap(QSize size, bool hot, bool enabled, bool lit, qreal dpr) {
  static QHash<QString, QImage> caps;
  const QString key =
      QString("%1x%2/%3%4%5/%6").arg(size.width()).arg(size.height()).arg(hot).arg(enabled).arg(lit).arg(dpr);
  auto it = caps.constFind(key);
  if (it != caps.constEnd()) return it.value();
  QImage cap(size * dpr, QImage::Format_ARGB32_Premultiplied);
  cap.setDevicePixelRatio(dpr);
  cap.fill(Qt::transparent);
  QPainter p(&cap);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QRectF body = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1.5, 1.5, -1.5, -1.5);
  const qreal radius = std::min<qreal>(6.0, std::min(body.width(), body.height()) / 5.0);
  p.setPen(QPen(hot ? kAccent : kEdge, 1.0));
  p.setBrush(enabled ? (hot ? kSurfaceHot : kSurface) : kSurface.darker(130));
  p.drawRoundedRect(body, radius, radius);
  if (lit) {
    // Cut the cap away where the light shows: fully at the rim, less and
    // less towards the middle.
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.setBrush(Qt::NoBrush);
    const QRectF area = QRectF(LitArea(size));
    struct Band {
      qreal inset, width;
      int cut;
    };
    static constexpr Band kBands[] = {{1.0, 2.0, 255}, {2.5, 1.5, 150}, {3.8, 1.5, 80}, {5.0, 1.5, 35}};
    for (const Band& band : kBands) {
      const QRectF r = area.adjusted(band.inset, band.inset, -band.inset, -band.inset);
      if (r.width() <= 2 || r.height() <= 2) break;
      const qreal rr = std::max<qreal>(1.0, radius - band.inset + 1.0);
      p.setPen(QPen(QColor(0, 0, 0, band.cut), band.width));
      p.drawRoundedRect(r, rr, rr);
    }
    // The middle: a faint tint, so the legend stays readable on any colour.
    const QRectF middle = area.adjusted(5.0, 5.0, -5.0, -5.0);
    if (middle.width() > 0 && middle.height() > 0) {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0, 0, 0, 28));
      p.drawRoundedRect(middle, 3.0, 3.0);
    }
  }
  p.end();
  if (caps.size() > 64) caps.clear();
  caps.insert(key, cap);
  return cap;
}

QColor Mix(QColor from, QColor to, qreal t) {
  auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
  return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
}

// Legend colour readable on a background of this colour.
QColor LegendOn(QColor background) {
  const double luma = 0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
  return luma > 0.5 ? QColor(0x15, 0x17, 0x1C) : kText;
}

void KeyButtonWidget::PrepareLegend() {
  const unsigned language = CResourceManager::GetInstance().GetLanguageVersion();
  if (legendPrepared_ && control_->GetRawText() == legendRaw_ && language == legendLanguage_) return;
  legendPrepared_ = true;
  legendRaw_ = control_->GetRawText();
  legendLanguage_ = language;
  QString legend = QString::fromStdString(control_->GetText());
  legendFont_ = font();
  legendFont_.setPixelSize(legend.size() > 3 ? 10 : 12);
  legend_.setText(legend);
  legend_.setTextFormat(Qt::PlainText);
  legend_.prepare(QTransform(), legendFont_);
  legendSize_ = legend_.size();
  ++legendVersion_;
}

const QImage& KeyButtonWidget::Top(QColor legendColor, qreal dpr) {
  // Key legends are small print, as on the keys themselves; laid out once
  // (again only when the text or the language changes).
  PrepareLegend();
  const bool unsetShown = !control_->GetKeyUnsetFlag() && !control_->GetKeyUnsetImage().empty();
  const bool setShown = !control_->GetKeySetFlag() && !control_->GetKeySetImage().empty();
  TopInputs& in = topInputs_;
  // Compared field by field: a lighting frame asks every key and must not
  // copy strings to find that nothing changed.
  if (in.valid && in.size == size() && in.dpr == dpr && in.legendColor == legendColor.rgba() &&
      in.legendVersion == legendVersion_ && in.unsetShown == unsetShown && in.setShown == setShown &&
      (!unsetShown || in.unsetImage == control_->GetKeyUnsetImage()) &&
      (!setShown || in.setImage == control_->GetKeySetImage()) && in.selected == control_->IsSelected() &&
      (!in.selected || in.selectedColor == control_->GetSelectedColor())) {
    return top_;
  }
  in.valid = true;
  in.size = size();
  in.dpr = dpr;
  in.legendColor = legendColor.rgba();
  in.legendVersion = legendVersion_;
  in.unsetShown = unsetShown;
  in.setShown = setShown;
  in.unsetImage = unsetShown ? std::string(control_->GetKeyUnsetImage()) : std::string();
  in.setImage = setShown ? std::string(control_->GetKeySetImage()) : std::string();
  in.selected = control_->IsSelected();
  in.selectedColor = control_->GetSelectedColor();

  // The legend alone takes a small box; badges and the selection frame
  // reach the key's edges. Boxes start on whole pixels of the device.
  const QPointF legendAt((width() - legendSize_.width()) / 2.0, (height() - legendSize_.height()) / 2.0);
  QRect box;
  if (unsetShown || setShown || in.selected || dpr != std::floor(dpr)) {
    box = rect();
  } else if (!legendRaw_.empty()) {
    box = QRectF(legendAt, legendSize_).toAlignedRect().adjusted(-2, -2, 2, 2) & rect();
  }
  topAt_ = box.topLeft();
  if (box.isEmpty()) {
    top_ = QImage();
    return top_;
  }
  top_ = QImage(box.size() * dpr, QImage::Format_ARGB32_Premultiplied);
  top_.setDevicePixelRatio(dpr);
  top_.fill(Qt::transparent);
  QPainter p(&top_);
  p.translate(-box.topLeft());
  p.setRenderHint(QPainter::Antialiasing, true);
  const QRectF cap = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
  auto badge = [&](const CDuiString& image, bool set) {
    if (DrawSkinImage(p, rect(), image)) return;
    QRectF dot(cap.right() - 9, cap.top() + 3, 6, 6);
    p.setPen(QPen(set ? kAccent : kMuted, 1.5));
    p.setBrush(set ? QBrush(kAccent) : Qt::NoBrush);
    p.drawEllipse(dot);
  };
  if (unsetShown) badge(control_->GetKeyUnsetImage(), false);
  if (setShown) badge(control_->GetKeySetImage(), true);
  if (!legendRaw_.empty()) {
    p.setFont(legendFont_);
    p.setPen(legendColor);
    p.drawStaticText(legendAt, legend_);
  }
  if (in.selected) {
    const qreal radius = std::min<qreal>(6.0, std::min(cap.width(), cap.height()) / 5.0);
    p.setPen(QPen(ToQColor(in.selectedColor), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(cap, radius, radius);
  }
  return top_;
}

void KeyButtonWidget::PaintInto(QPainter& p) {
  const qreal dpr = p.device()->devicePixelRatioF();
  const bool hot = control_->IsHot() || control_->IsPushed();

  // Bottom first: status image, light, key-unset badge, key-set badge (the
  // model's paint layer order, without building the list on every frame).
  // A lighting frame changes only the light: the cap beneath is shared by
  // every key of its size and state, and what lies above it is drawn once.
  const qreal strength =
      control_->IsShowLightImage() ? control_->GetLightFade() / 255.0 * control_->GetLightDim() / 255.0 : 0.0;
  const CDuiString& status = control_->GetStatusImage();
  const CDuiString& lightImage = control_->GetLightImage();
  QPixmap light = strength > 0 && !lightImage.empty() ? LoadSkinImage(lightImage) : QPixmap();
  const QColor base = hot ? kSurfaceHot : kSurface;
  const QColor lightColor = ToQColor(control_->GetLightColor());
  // The light covers the legend on the skin's own pictures; on our cap it
  // only rims it.
  bool lightUnderLegend = !light.isNull();
  if (!status.empty() && DrawSkinImage(p, rect(), status)) {
    if (strength > 0 && light.isNull()) {
      lightUnderLegend = true;
      QColor c = lightColor;
      c.setAlphaF(strength);
      p.fillRect(LitArea(size()), c);
    }
  } else {
    // Our cap. Lit without a light picture: the light's colour, mixed with
    // the cap's own as the strength says, under the cap's see-through rim.
    const bool litCap = strength > 0 && light.isNull();
    const int state = (hot ? 1 : 0) | (control_->IsEnabled() ? 2 : 0) | (litCap ? 4 : 0);
    if (state != capState_ || capDpr_ != dpr || cap_.deviceIndependentSize().toSize() != size()) {
      cap_ = KeyCap(size(), hot, control_->IsEnabled(), litCap, dpr);
      capState_ = state;
      capDpr_ = dpr;
    }
    if (litCap) p.fillRect(LitArea(size()), Mix(base, lightColor, strength));
    p.drawImage(0, 0, cap_);
  }
  if (!light.isNull()) {
    p.setOpacity(strength);
    p.drawImage(rect(), TintedLight(light, lightColor));
    p.setOpacity(1.0);
  }

  QColor legendColor;
  if (lightUnderLegend) {
    legendColor = LegendOn(Mix(base, lightColor, strength));
  } else {
    legendColor = control_->GetTextColor() != 0 ? ToQColor(control_->GetTextColor()) : kText;
  }
  const QImage& top = Top(legendColor, dpr);
  if (!top.isNull()) p.drawImage(topAt_, top);
}

// ---- picture buttons ----

PictureButtonWidget::PictureButtonWidget(CButtonUI* control, QWidget* parent) : QWidget(parent), control_(control) {
  setAttribute(Qt::WA_Hover, true);
  setAttribute(Qt::WA_StyledBackground, true);
  setMouseTracking(true);
}

void PictureButtonWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  DrawStyledBackground(this, p);
  QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(QPen(control_->IsHot() ? kAccent : kEdge, 1.0));
  p.setBrush(control_->IsHot() ? kSurfaceHot : kSurface);
  p.drawRoundedRect(frame, 6, 6);
  if (!control_->GetStatusImage().empty()) DrawSkinImage(p, rect(), control_->GetStatusImage());

  QRect inner = rect().adjusted(6, 6, -6, -6);
  if (auto* hand = dynamic_cast<CHandImgButtonUI*>(control_)) {
    if (!DrawSkinImage(p, inner, hand->GetHandImage())) DrawMissingPicture(p, inner);
    if (hand->IsDeleteBadgeShown()) {
      QRect badge = QRect(hand->GetDeleteBadgeRect().left - hand->GetPos().left,
                          hand->GetDeleteBadgeRect().top - hand->GetPos().top,
                          hand->GetDeleteBadgeRect().Width(), hand->GetDeleteBadgeRect().Height());
      if (!DrawSkinImage(p, badge, hand->GetDeleteNormalImage())) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE0, 0x4F, 0x5F));
        p.drawEllipse(badge);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(badge.center() + QPoint(-4, -4), badge.center() + QPoint(4, 4));
        p.drawLine(badge.center() + QPoint(-4, 4), badge.center() + QPoint(4, -4));
      }
    }
  } else if (auto* pick = dynamic_cast<CHandImgSelectButtonUI*>(control_)) {
    const std::string& source = pick->GetHandImageSource();
    if (!DrawSkinImage(p, inner, source.empty() ? std::string_view(pick->GetHandImage()) : source)) {
      DrawMissingPicture(p, inner);
    }
  } else if (auto* rec = dynamic_cast<CRedioMacroButtonUI*>(control_)) {
    // The record mark pulses with the model's fade while recording.
    QRect mark(inner.left() + 4, inner.center().y() - 7, 14, 14);
    int fade = rec->IsRecording() ? rec->GetFade() : 255;
    if (!DrawSkinImage(p, mark, rec->GetRedioImage(), fade)) {
      QColor red(0xE0, 0x4F, 0x5F);
      red.setAlpha(fade);
      p.setPen(Qt::NoPen);
      p.setBrush(rec->IsRecording() ? red : kMuted);
      p.drawEllipse(mark);
    }
    p.setPen(kText);
    p.drawText(inner.adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(rec->GetText()));
  }
}

// ---- progress ring ----

RingWidget::RingWidget(CCircleProgressUI* control, QWidget* parent) : QWidget(parent), control_(control) {}

void RingWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  const int side = std::min(width(), height());
  const qreal thick = std::max(3.0, side / 8.0);
  QRectF ring(QPointF((width() - side) / 2.0, (height() - side) / 2.0), QSizeF(side, side));
  ring.adjust(thick / 2, thick / 2, -thick / 2, -thick / 2);
  QColor track = control_->GetBkColor() != 0 ? ToQColor(control_->GetBkColor()) : kSurface;
  QColor fill = control_->GetTextColor() != 0 ? ToQColor(control_->GetTextColor()) : kAccent;
  p.setPen(QPen(track, thick, Qt::SolidLine, Qt::FlatCap));
  p.drawEllipse(ring);
  // From the top, clockwise.
  const double sweep = control_->GetSweepDegrees();
  p.setPen(QPen(fill, thick, Qt::SolidLine, Qt::RoundCap));
  if (sweep > 0) p.drawArc(ring, CCircleProgressUI::kStartAngle * 16, -static_cast<int>(std::lround(sweep * 16)));
  p.setPen(kText);
  const int range = control_->GetMaxValue() - control_->GetMinValue();
  const int percent = range > 0 ? (control_->GetValue() - control_->GetMinValue()) * 100 / range : 0;
  p.drawText(rect(), Qt::AlignCenter, QString::number(percent) + "%");
}

// ---- audio levels ----

SpectrumWidget::SpectrumWidget(CAudioRecordUI* control, QWidget* parent) : QWidget(parent), control_(control) {
  setAttribute(Qt::WA_StyledBackground, true);
}

void SpectrumWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  DrawStyledBackground(this, p);
  if (control_->GetBkColor() != 0) p.fillRect(rect(), ToQColor(control_->GetBkColor()));
  QColor bar = control_->GetTextColor() != 0 ? ToQColor(control_->GetTextColor()) : kAccent;
  // Bars rise from the middle line both ways, like a level trace.
  const int mid = height() / 2;
  for (const auto& b : control_->GetBars()) {
    if (b.x >= width()) break;
    int half = std::max(1, b.height / 2);
    p.fillRect(b.x, mid - half, 1, 2 * half, bar);
  }
}

// ---- chart ----

ChartWidget::ChartWidget(CChartViewUI* control, QWidget* parent) : QWidget(parent), control_(control) {}

void ChartWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  const auto& items = control_->GetItems();
  if (items.empty()) return;
  // Shades of the accent, alternating so neighbours stay apart.
  auto shade = [&](std::size_t i) {
    static const int kLight[] = {100, 135, 80, 155, 115, 65};
    QColor c = kAccent;
    return c.lighter(kLight[i % 6]);
  };
  const bool text = control_->IsShowText();
  if (control_->GetView() == CChartViewUI::View::Pie) {
    const int side = std::min(width(), height()) - 8;
    QRectF pie(4, (height() - side) / 2.0, side, side);
    auto slices = control_->GetPieSlices();
    p.setPen(QPen(palette().window().color(), 1.5));
    for (std::size_t i = 0; i < slices.size(); ++i) {
      p.setBrush(shade(i));
      p.drawPie(pie, static_cast<int>(std::lround(90 * 16 - slices[i].startDegrees * 16)),
                -static_cast<int>(std::lround(slices[i].sweepDegrees * 16)));
    }
    if (text) {
      p.setPen(kText);
      int y = static_cast<int>(pie.top()) + 4;
      for (std::size_t i = 0; i < items.size(); ++i, y += fontMetrics().height() + 2) {
        p.fillRect(side + 16, y + 3, 10, 10, shade(i));
        p.drawText(side + 32, y + fontMetrics().ascent(), QString::fromStdString(items[i].name));
      }
    }
    return;
  }
  const int labelH = text ? fontMetrics().height() + 2 : 0;
  const int shadowH = control_->GetShadowImageHeight();
  const int plotH = std::max(1, height() - labelH - shadowH - 4);
  auto heights = control_->GetBarHeights(plotH);
  const int slot = std::max(1, width() / static_cast<int>(heights.size()));
  const int barW = control_->GetPillarImageWidth() > 0 ? control_->GetPillarImageWidth() : std::max(4, slot / 2);
  p.setPen(Qt::NoPen);
  for (std::size_t i = 0; i < heights.size(); ++i) {
    QRect bar(static_cast<int>(i) * slot + (slot - barW) / 2, 2 + plotH - heights[i], barW, heights[i]);
    if (!DrawSkinImage(p, bar, control_->GetPillarImage())) {
      p.setBrush(shade(i));
      p.drawRoundedRect(bar, 2, 2);
    }
    if (shadowH > 0) DrawSkinImage(p, QRect(bar.left(), 2 + plotH, barW, shadowH), control_->GetShadowImage());
    if (text) {
      p.setPen(kMuted);
      p.drawText(QRect(static_cast<int>(i) * slot, height() - labelH, slot, labelH), Qt::AlignCenter,
                 QString::fromStdString(items[i].name));
      p.setPen(Qt::NoPen);
    }
  }
}

// ---- colour field ----

PaletteWidget::PaletteWidget(CColorPaletteUI* control, QWidget* parent) : QWidget(parent), control_(control) {
  setCursor(Qt::CrossCursor);
}

QRect PaletteWidget::Field() const { return rect().adjusted(0, 0, -36, 0); }

QColor PaletteWidget::ColorAt(QPoint pt) const {
  QRect f = Field();
  if (f.width() <= 1 || f.height() <= 1) return {};
  pt.setX(std::clamp(pt.x(), f.left(), f.right()));
  pt.setY(std::clamp(pt.y(), f.top(), f.bottom()));
  double hue = static_cast<double>(pt.x() - f.left()) / (f.width() - 1);
  double light = 1.0 - static_cast<double>(pt.y() - f.top()) / (f.height() - 1);
  return QColor::fromHslF(std::min(hue, 0.999), 1.0, 0.1 + 0.8 * light);
}

void PaletteWidget::resizeEvent(QResizeEvent*) {
  // Worked out again at the next paint: sizes that are never drawn (the
  // layout settling, a hidden page) cost nothing.
  field_ = QImage();
}

void PaletteWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  QRect f = Field();
  if (field_.size() != f.size() && f.width() > 0 && f.height() > 0) {
    field_ = QImage(f.size(), QImage::Format_RGB32);
    for (int y = 0; y < f.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(field_.scanLine(y));
      for (int x = 0; x < f.width(); ++x) line[x] = ColorAt(QPoint(x + f.left(), y + f.top())).rgb();
    }
  }
  if (!field_.isNull()) {
    QPainterPath clip;
    clip.addRoundedRect(QRectF(f), 6, 6);
    p.setClipPath(clip);
    p.drawImage(f.topLeft(), field_);
    p.setClipping(false);
  }
  QRectF swatch(f.right() + 8, 0.5, 27, height() - 1);
  p.setPen(QPen(kEdge, 1));
  p.setBrush(ToQColor(control_->GetSelectColor()));
  p.drawRoundedRect(swatch, 6, 6);
}

void PaletteWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !Field().contains(event->position().toPoint())) return;
  QColor c = ColorAt(event->position().toPoint());
  control_->SetSelectColorFromUser(0xFF000000u | (c.rgb() & 0xFFFFFFu));
}

void PaletteWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  QColor c = ColorAt(event->position().toPoint());
  control_->DragColorFromUser(0xFF000000u | (c.rgb() & 0xFFFFFFu));
}

void PaletteWidget::mouseReleaseEvent(QMouseEvent* event) {
  // The drag's last colour, picked once more as the drag ends.
  if (event->button() == Qt::LeftButton && control_->IsDragging())
    control_->SetSelectColorFromUser(control_->GetSelectColor());
}

}  // namespace korvale::qtview
