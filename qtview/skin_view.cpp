#include "qtview/skin_view.h"

#include <QWindow>

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>

#include "qtview/images.h"
#include "qtview/widgets.h"

namespace korvale::qtview {

namespace {

const char* kControlProperty = "korvaleControl";

enum class Flow { Horizontal, Vertical, Overlay };

Flow FlowOf(const CControlUI* c) {
  if (c->IsClass("HorizontalLayout")) return Flow::Horizontal;
  if (c->IsClass("TabLayout")) return Flow::Overlay;
  if (c->IsClass("VerticalLayout")) return Flow::Vertical;
  return Flow::Overlay;
}

// Controls whose children are drawn by the control itself (a combo's items
// live in its popup).
bool HasChildWidgets(const CControlUI* c) {
  return dynamic_cast<const CContainerUI*>(c) != nullptr && !c->IsClass("Combo");
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

Qt::CursorShape CursorOf(CursorShape shape) {
  switch (shape) {
    case CursorShape::IBeam: return Qt::IBeamCursor;
    case CursorShape::Wait: return Qt::WaitCursor;
    case CursorShape::Cross: return Qt::CrossCursor;
    case CursorShape::UpArrow: return Qt::UpArrowCursor;
    case CursorShape::Size: return Qt::SizeAllCursor;
    case CursorShape::Icon: return Qt::ArrowCursor;
    case CursorShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case CursorShape::SizeNESW: return Qt::SizeBDiagCursor;
    case CursorShape::SizeWE: return Qt::SizeHorCursor;
    case CursorShape::SizeNS: return Qt::SizeVerCursor;
    case CursorShape::SizeAll: return Qt::SizeAllCursor;
    case CursorShape::No: return Qt::ForbiddenCursor;
    case CursorShape::Hand: return Qt::PointingHandCursor;
    case CursorShape::Arrow: break;
  }
  return Qt::ArrowCursor;
}

QString CssColor(DWORD argb) {
  QColor c = ToQColor(argb);
  return QString("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

Qt::Alignment AlignOf(const CControlUI* c) {
  auto* label = dynamic_cast<const CLabelUI*>(c);
  std::string align = label != nullptr ? label->GetAlign() : "left";
  // A text block reads from its top; a one-line label sits in its middle.
  Qt::Alignment a = dynamic_cast<const CTextUI*>(c) != nullptr ? Qt::AlignTop : Qt::AlignVCenter;
  if (align == "center") return a | Qt::AlignHCenter;
  if (align == "right") return a | Qt::AlignRight;
  return a | Qt::AlignLeft;
}

// Style sheet rules on a property apply only after a re-polish; a widget not
// polished yet takes them with its first polish, when it is first shown.
void Repolish(QWidget* w) {
  if (!w->testAttribute(Qt::WA_WState_Polished)) return;
  w->style()->unpolish(w);
  w->style()->polish(w);
  w->update();
}

void SetFlag(QWidget* w, const char* name, bool value) {
  if (w->property(name).toBool() == value) return;
  w->setProperty(name, value);
  Repolish(w);
}

// Whether the widget shows with its parent: it was not hidden on purpose. A
// new child of a hidden parent counts as shown though Qt marks it hidden
// until the parent shows.
bool ShowsWithParent(const QWidget* w) {
  return !(w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

// Lays out the children of container c inside a widget of the given size, the
// way the skin describes it: fixed sizes and paddings kept, the rest of the
// room shared by the children without a fixed size, floats at their pos.
// Puts a widget into its slot; a widget whose own limits keep it smaller (a
// thin progress bar) sits in the slot's middle.
void Place(QWidget* w, const QRect& slot) {
  w->setGeometry(slot);
  if (w->size() != slot.size()) {
    w->move(slot.left() + (slot.width() - w->width()) / 2, slot.top() + (slot.height() - w->height()) / 2);
  }
}

// Skin sizes are given at 96 dpi; the window's scale multiplies them.
struct Scale {
  int dpi = 96;
  int operator()(int v) const { return dpi == 96 ? v : v * dpi / 96; }
  UiRect operator()(const UiRect& r) const { return UiRect{(*this)(r.left), (*this)(r.top), (*this)(r.right), (*this)(r.bottom)}; }
};

// Room beside a button's text: the style sheet's widest horizontal padding and border.
constexpr int kButtonTextRoom = 36;

// Shaping a text is most of a layout pass's cost and every pass asks again
// for the same texts, so each widget keeps its last measurement. A stale
// entry of a deleted widget is harmless: a hit needs the same text and font,
// and those give the same width.
int Advance(const QWidget* w, const QString& text) {
  struct Measured {
    QString text;
    QFont font;
    int advance = 0;
  };
  static std::unordered_map<const QWidget*, Measured> measured;
  auto it = measured.find(w);
  if (it != measured.end() && it->second.text == text && it->second.font == w->font()) return it->second.advance;
  if (measured.size() > 8192) measured.clear();
  const int advance = w->fontMetrics().horizontalAdvance(text);
  measured[w] = Measured{text, w->font(), advance};
  return advance;
}

// The width a widget's text needs. A label or text button is never laid out
// narrower than this, whatever width the skin gave it: a longer word in
// another language must not be cut.
int TextWidth(const QWidget* w, const CControlUI* c, Scale S) {
  // Measured in the font the style sheet gives it, which it takes when it is
  // polished: a widget laid out before it is first shown is polished now (it
  // is about to be shown), not measured in a font it will never draw in.
  w->ensurePolished();
  if (const auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->text().isEmpty() || label->wordWrap()) return 0;
    const QMargins m = label->contentsMargins();
    return Advance(label, label->text()) + m.left() + m.right() + 2 * label->margin();
  }
  // Check boxes: the indicator and its gap come with the text.
  if (qobject_cast<const QCheckBox*>(w) != nullptr) return w->sizeHint().width();
  if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
    if (button->text().isEmpty()) return 0;
    int room = kButtonTextRoom;
    if (const auto* label = dynamic_cast<const CLabelUI*>(c); label != nullptr && label->GetTextPadding()) {
      const UiRect& pad = *label->GetTextPadding();
      room = S(pad.left + pad.right) + 2;  // and the 1-pixel frame
    }
    return Advance(button, button->text()) + room;
  }
  return 0;
}

// A control's fixed width, widened to its text; 0 when it has none.
int FixedWidth(CControlUI* c, const QWidget* w, Scale S) {
  const int fixed = S(c->GetFixedWidth());
  return fixed > 0 ? std::max(fixed, TextWidth(w, c, S)) : 0;
}

// What one layout pass has already worked out: a container's least size is
// asked again at every level above it.
struct LayoutMemo {
  std::unordered_map<const CControlUI*, int> least[2];
};

template <typename WidgetOf>
int NaturalMinOf(CControlUI* c, bool horizontal, const WidgetOf& widgetOf, Scale S, LayoutMemo& memo, int depth);

// The least room a control needs along one axis: its fixed size, else what
// its widget or children need, else its skin minimum.
template <typename WidgetOf>
int NaturalMin(CControlUI* c, bool horizontal, const WidgetOf& widgetOf, Scale S, LayoutMemo& memo, int depth = 0) {
  auto& known = memo.least[horizontal ? 1 : 0];
  if (auto it = known.find(c); it != known.end()) return it->second;
  const int least = NaturalMinOf(c, horizontal, widgetOf, S, memo, depth);
  known.emplace(c, least);
  return least;
}

template <typename WidgetOf>
int NaturalMinOf(CControlUI* c, bool horizontal, const WidgetOf& widgetOf, Scale S, LayoutMemo& memo, int depth) {
  int fixed = horizontal ? FixedWidth(c, widgetOf(c), S) : S(c->GetFixedHeight());
  if (fixed > 0) return fixed;
  int least = S(horizontal ? c->GetMinWidth() : c->GetMinHeight());
  QWidget* w = widgetOf(c);
  if (w == nullptr) return least;
  auto* container = dynamic_cast<CContainerUI*>(c);
  if (container == nullptr || !HasChildWidgets(c)) {
    QSize hint = w->minimumSizeHint();
    return std::max(least, horizontal ? TextWidth(w, c, S) : std::max(0, hint.height()));
  }
  if (depth > 32) return least;
  const Flow flow = FlowOf(c);
  const bool along = (flow == Flow::Horizontal) == horizontal && flow != Flow::Overlay;
  const UiRect in = S(container->GetInset());
  int sum = 0, most = 0, shown = 0;
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* child = container->GetItemAt(i);
    if (!child->IsVisible() || child->IsFloat() || widgetOf(child) == nullptr) continue;
    const UiRect p = S(child->GetPadding());
    int need = NaturalMin(child, horizontal, widgetOf, S, memo, depth + 1) + (horizontal ? p.left + p.right : p.top + p.bottom);
    sum += need;
    most = std::max(most, need);
    ++shown;
  }
  if (shown > 1) sum += S(container->GetChildPadding()) * (shown - 1);
  int inner = along ? sum : most;
  return std::max(least, inner + (horizontal ? in.left + in.right : in.top + in.bottom));
}

// Lays out the children of container c inside a widget of the given size, the
// way the skin describes it: fixed sizes and paddings kept, the rest of the
// room shared by the children without a fixed size, floats at their pos.
template <typename WidgetOf>
void LayoutChildren(CContainerUI* c, QSize size, const WidgetOf& widgetOf, Scale S, LayoutMemo& memo) {
  const UiRect inset = S(c->GetInset());
  const QRect area(inset.left, inset.top, std::max(0, size.width() - inset.left - inset.right),
                   std::max(0, size.height() - inset.top - inset.bottom));
  const Flow flow = FlowOf(c);
  const bool horizontal = flow == Flow::Horizontal;
  const int gap = S(c->GetChildPadding());

  struct Slot {
    CControlUI* control;
    QWidget* widget;
  };
  std::vector<Slot> flowing;
  for (int i = 0; i < c->GetCount(); ++i) {
    CControlUI* child = c->GetItemAt(i);
    QWidget* w = widgetOf(child);
    if (w == nullptr || !child->IsVisible()) continue;
    if (child->IsFloat()) {
      const UiRect xy = S(child->GetFixedXY());
      int width = child->GetFixedWidth() > 0 ? S(child->GetFixedWidth()) : xy.Width();
      int height = child->GetFixedHeight() > 0 ? S(child->GetFixedHeight()) : xy.Height();
      Place(w, QRect(xy.left, xy.top, std::max(0, width), std::max(0, height)));
      continue;
    }
    flowing.push_back({child, w});
  }

  auto mainFixed = [&](CControlUI* ch) {
    return horizontal ? FixedWidth(ch, widgetOf(ch), S) : S(ch->GetFixedHeight());
  };
  auto crossFixed = [&](CControlUI* ch) {
    if (horizontal) return S(ch->GetFixedHeight());
    const UiRect p = S(ch->GetPadding());
    return std::min(FixedWidth(ch, widgetOf(ch), S), std::max(S(ch->GetFixedWidth()), area.width() - p.left - p.right));
  };
  auto mainPad = [&](CControlUI* ch) {
    const UiRect p = S(ch->GetPadding());
    return horizontal ? p.left + p.right : p.top + p.bottom;
  };

  if (flow == Flow::Overlay) {
    for (auto& s : flowing) {
      const UiRect p = S(s.control->GetPadding());
      int w = s.control->GetFixedWidth() > 0 ? S(s.control->GetFixedWidth()) : area.width() - p.left - p.right;
      int h = s.control->GetFixedHeight() > 0 ? S(s.control->GetFixedHeight()) : area.height() - p.top - p.bottom;
      Place(s.widget, QRect(area.left() + p.left, area.top() + p.top, std::max(0, w), std::max(0, h)));
    }
  } else {
    const int room = horizontal ? area.width() : area.height();
    int fixed = 0;
    int stretchy = 0;
    for (auto& s : flowing) {
      fixed += mainPad(s.control) + std::max(0, mainFixed(s.control));
      if (mainFixed(s.control) <= 0) ++stretchy;
    }
    if (!flowing.empty()) fixed += gap * static_cast<int>(flowing.size() - 1);
    // The free room is shared evenly, except that a child that needs more
    // than its share gets what it needs (at most what is left) and the rest
    // share the remainder.
    std::vector<int> given(flowing.size(), -1);
    int free = std::max(0, room - fixed);
    int open = stretchy;
    for (bool changed = true; changed && open > 0;) {
      changed = false;
      int share = free / open;
      for (std::size_t i = 0; i < flowing.size(); ++i) {
        if (mainFixed(flowing[i].control) > 0 || given[i] >= 0) continue;
        int need = NaturalMin(flowing[i].control, horizontal, widgetOf, S, memo);
        int hi = S(horizontal ? flowing[i].control->GetMaxWidth() : flowing[i].control->GetMaxHeight());
        // Never more than the room left: the fixed siblings (a status row
        // under a tall page) stay in the window and the child is clipped.
        int want = std::min({std::max(need, share), std::max(need, hi), free});
        if (want != share) {
          given[i] = want;
          free = std::max(0, free - want);
          --open;
          changed = true;
        }
      }
    }
    int share = open > 0 ? free / open : 0;
    int leftover = open > 0 ? free - share * open : 0;
    int at = horizontal ? area.left() : area.top();
    int openSeen = 0;
    for (std::size_t i = 0; i < flowing.size(); ++i) {
      auto& s = flowing[i];
      const UiRect p = S(s.control->GetPadding());
      int main = mainFixed(s.control);
      if (main <= 0) main = given[i] >= 0 ? given[i] : share + (++openSeen == open ? leftover : 0);
      int cross = crossFixed(s.control);
      if (horizontal) {
        if (cross <= 0) cross = area.height() - p.top - p.bottom;
        Place(s.widget, QRect(at + p.left, area.top() + p.top, std::max(0, main), std::max(0, cross)));
        at += p.left + main + p.right + gap;
      } else {
        if (cross <= 0) cross = area.width() - p.left - p.right;
        Place(s.widget, QRect(area.left() + p.left, at + p.top, std::max(0, cross), std::max(0, main)));
        at += p.top + main + p.bottom + gap;
      }
    }
  }

  for (int i = 0; i < c->GetCount(); ++i) {
    auto* child = dynamic_cast<CContainerUI*>(c->GetItemAt(i));
    QWidget* w = child != nullptr ? widgetOf(child) : nullptr;
    if (w != nullptr && child->IsVisible() && HasChildWidgets(child)) LayoutChildren(child, w->size(), widgetOf, S, memo);
  }
}

// The picture an option shows: its selected one while selected and usable,
// else the button's picture for its state.
const CDuiString& OptionImage(const COptionUI& option) {
  if (option.IsSelected() && option.IsEnabled() && !option.GetSelectedImage().empty()) {
    return option.GetSelectedImage();
  }
  return option.GetStatusImage();
}

// A button with a skin picture shows just the picture, filling the button
// (the style drops its frame). False when the string names no picture.
bool SetSkinIcon(QAbstractButton* b, std::string_view text) {
  ImageSpec spec;
  QPixmap image = LoadSkinImage(text, &spec);
  if (!image.isNull() && !spec.source.isEmpty()) image = image.copy(spec.source);
  const bool has = !image.isNull();
  const QString name = has ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) : QString();
  if (b->property("skinIconImage").toString() != name) {
    QIcon icon;
    if (has) {
      // The skin draws its own disabled picture: Qt must not grey it again.
      icon.addPixmap(image, QIcon::Normal);
      icon.addPixmap(image, QIcon::Disabled);
      icon.addPixmap(image, QIcon::Active);
    }
    b->setIcon(icon);
    b->setProperty("skinIconImage", name);
  }
  if (b->property("skinIcon").toBool() != has) {
    b->setProperty("skinIcon", has);
    Repolish(b);
  }
  if (has && b->iconSize() != b->size() && !b->size().isEmpty()) b->setIconSize(b->size());
  return has;
}

}  // namespace

QtSkinView::QtSkinView(CPaintManagerUI* manager, QWidget* parent) : manager_(manager) {
  window_ = new QWidget(parent);
  window_->setObjectName("korvaleWindow");
  window_->setAttribute(Qt::WA_StyledBackground, true);
  window_->installEventFilter(this);
  // The window holds the focus until the user moves it: showing a window
  // must not send "setfocus" to its first control.
  window_->setFocusPolicy(Qt::ClickFocus);
  window_->setFocus();
  UiSize init = manager->GetInitSize();
  dpi_ = manager->GetDPI();
  window_->resize(manager->ScaleValue(init.cx > 0 ? init.cx : 800), manager->ScaleValue(init.cy > 0 ? init.cy : 600));
  if (manager->GetWindow() != nullptr) window_->setWindowTitle(Q(manager->GetWindow()->GetWindowText()));
  // One title bar: where the skin draws its caption, the system draws none.
  UiRect caption;
  if (ParseRect(manager->GetWindowAttribute("caption"), &caption) && caption.bottom > 0) {
    captionHeight_ = caption.bottom;
    window_->setWindowFlag(Qt::FramelessWindowHint, true);
  }
  manager_->AddObserver(this);
  std::weak_ptr<char> alive = alive_;
  CResourceManager::GetInstance().AddLanguageListener([this, alive] {
    if (alive.expired()) return;
    for (auto& [control, node] : nodes_) Sync(const_cast<CControlUI*>(control));
  });
  Build(manager->GetRoot());
}

QtSkinView::~QtSkinView() {
  manager_->RemoveObserver(this);
  alive_.reset();
  nodes_.clear();
  controls_.clear();
  delete window_.data();
}

QWidget* QtSkinView::WidgetFor(const CControlUI* control) const {
  auto it = nodes_.find(control);
  return it == nodes_.end() ? nullptr : it->second.widget;
}

CControlUI* QtSkinView::ControlFor(const QWidget* widget) const {
  auto it = controls_.find(widget);
  return it == controls_.end() ? nullptr : it->second;
}

void QtSkinView::Clear() {
  nodes_.clear();
  controls_.clear();
  if (rootWidget_ != nullptr) {
    rootWidget_->hide();
    rootWidget_->deleteLater();
    rootWidget_ = nullptr;
  }
}

void QtSkinView::Build(CControlUI* root) {
  Clear();
  if (root == nullptr || window_.isNull()) return;
  rootWidget_ = CreateSubtree(root, window_);
  Relayout();
}

QWidget* QtSkinView::CreateSubtree(CControlUI* control, QWidget* parent) {
  Kind kind = Kind::Plain;
  QWidget* w = CreateWidget(control, parent, &kind);
  w->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(control)));
  if (!control->GetName().empty()) w->setObjectName(Q(control->GetName()));
  // The skin class, for the style sheet: QWidget[skinClass="Option"].
  w->setProperty("skinClass", Q(control->GetClass()));
  nodes_[control] = Node{w, kind};
  controls_[w] = control;
  w->installEventFilter(this);
  // Our layout gives every widget its geometry: Qt need not work out a size
  // from its text and style when it is first shown.
  w->setAttribute(Qt::WA_Resized);
  ApplyLook(control, w, kind);
  Sync(control);
  // What a hidden container holds (another tab, a closed panel) costs no
  // widget, style or layout until the container is first shown.
  if (HasChildWidgets(control)) {
    if (control->IsVisible())
      CreateChildren(control, w);
    else
      nodes_[control].childrenPending = true;
  }
  // A hidden control's widget stays unpolished until it is shown; a visible
  // one shows with its parent, or now when the parent is already on screen.
  if (!control->IsVisible()) {
    w->hide();
  } else if (parent->isVisible()) {
    w->show();
  }
  return w;
}

void QtSkinView::CreateChildren(CControlUI* control, QWidget* widget) {
  auto* container = static_cast<CContainerUI*>(control);
  for (int i = 0; i < container->GetCount(); ++i) CreateSubtree(container->GetItemAt(i), widget);
  // Later siblings paint above earlier ones; floats above the flow.
  for (int i = 0; i < container->GetCount(); ++i) {
    if (container->GetItemAt(i)->IsFloat()) {
      if (QWidget* cw = WidgetFor(container->GetItemAt(i))) cw->raise();
    }
  }
}

QWidget* QtSkinView::CreateWidget(CControlUI* control, QWidget* parent, Kind* kind) {
  if (auto* key = dynamic_cast<CDeviceKeyButtonUI*>(control)) {
    *kind = Kind::KeyButton;
    // Its container may paint it only if nothing else there could lie on top.
    bool onlyKeys = true;
    if (auto* box = dynamic_cast<CContainerUI*>(control->GetParent())) {
      for (int i = 0; i < box->GetCount() && onlyKeys; ++i) onlyKeys = box->GetItemAt(i)->IsClass("DeviceKeyButton");
    }
    return new KeyButtonWidget(key, parent, onlyKeys);
  }
  if (control->IsClass("HandImgButton") || control->IsClass("HandImgSelectButton") ||
      control->IsClass("RedioMacroButton")) {
    *kind = Kind::Picture;
    return new PictureButtonWidget(static_cast<CButtonUI*>(control), parent);
  }
  if (auto* ring = dynamic_cast<CCircleProgressUI*>(control)) {
    *kind = Kind::Ring;
    return new RingWidget(ring, parent);
  }
  if (auto* audio = dynamic_cast<CAudioRecordUI*>(control)) {
    *kind = Kind::Spectrum;
    return new SpectrumWidget(audio, parent);
  }
  if (auto* chart = dynamic_cast<CChartViewUI*>(control)) {
    *kind = Kind::Chart;
    return new ChartWidget(chart, parent);
  }
  if (auto* palette = dynamic_cast<CColorPaletteUI*>(control)) {
    *kind = Kind::Palette;
    return new PaletteWidget(palette, parent);
  }
  if (auto* combo = dynamic_cast<CComboUI*>(control)) {
    *kind = Kind::Combo;
    auto* box = new QComboBox(parent);
    QObject::connect(box, &QComboBox::activated, this, [this, combo, box](int index) {
      if (syncing_) return;
      std::weak_ptr<void> life = combo->Lifetime();
      combo->SelectItemFromUser(index);
      if (!life.expired()) SyncCombo(combo, box);
    });
    return box;
  }
  if (auto* slider = dynamic_cast<CSliderUI*>(control)) {
    *kind = Kind::Slider;
    auto* s = new QSlider(slider->IsHorizontal() ? Qt::Horizontal : Qt::Vertical, parent);
    // While the thumb is held each step is only a preview ("movevaluechanged");
    // the release settles the value once ("valuechanged").
    QObject::connect(s, &QSlider::valueChanged, this, [this, slider, s](int value) {
      if (syncing_) return;
      std::weak_ptr<void> life = slider->Lifetime();
      if (s->isSliderDown())
        slider->DragValueFromUser(value);
      else
        slider->SetValueFromUser(value);
      if (!life.expired()) Sync(slider);  // the model may refuse or clamp
    });
    QObject::connect(s, &QSlider::sliderReleased, this, [this, slider, s] {
      if (syncing_) return;
      std::weak_ptr<void> life = slider->Lifetime();
      slider->SetValueFromUser(s->value());
      if (!life.expired()) Sync(slider);
    });
    return s;
  }
  if (dynamic_cast<CProgressUI*>(control) != nullptr) {
    *kind = Kind::Progress;
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    return bar;
  }
  if (auto* option = dynamic_cast<COptionUI*>(control)) {
    QAbstractButton* b;
    if (control->IsClass("CheckBox")) {
      *kind = Kind::CheckBox;
      b = new QCheckBox(parent);
    } else {
      *kind = Kind::Option;
      b = new QPushButton(parent);
    }
    b->setCheckable(true);
    // The model decides the state (groups, refusals); the widget mirrors it.
    QObject::connect(b, &QAbstractButton::clicked, this, [this, option] {
      std::weak_ptr<void> life = option->Lifetime();
      option->Activate();
      if (!life.expired()) Sync(option);
    });
    return b;
  }
  if (auto* button = dynamic_cast<CButtonUI*>(control)) {
    *kind = Kind::Button;
    auto* b = new QPushButton(parent);
    b->setFocusPolicy(Qt::TabFocus);
    QObject::connect(b, &QPushButton::clicked, this, [button] { button->Activate(); });
    return b;
  }
  if (auto* edit = dynamic_cast<CEditUI*>(control)) {
    *kind = Kind::Edit;
    auto* e = new QLineEdit(parent);
    QObject::connect(e, &QLineEdit::textEdited, this, [this, edit, e](const QString& text) {
      std::weak_ptr<void> life = edit->Lifetime();
      edit->SetTextFromUser(text.toStdString());
      if (life.expired()) return;
      // Refused characters vanish at once, as they would in the model.
      QString now = Q(edit->GetRawText());
      if (now != e->text()) {
        int cursor = e->cursorPosition() - (e->text().size() - now.size());
        syncing_ = true;
        e->setText(now);
        e->setCursorPosition(std::max(0, cursor));
        syncing_ = false;
      }
    });
    QObject::connect(e, &QLineEdit::returnPressed, this, [edit] { edit->ReturnFromUser(); });
    return e;
  }
  if (dynamic_cast<CListLabelElementUI*>(control) != nullptr) {
    *kind = Kind::ListItem;
    auto* l = new QLabel(parent);
    l->setAttribute(Qt::WA_Hover, true);
    return l;
  }
  if (HasChildWidgets(control)) {
    *kind = Kind::Container;
    return new ContainerWidget(control, parent);
  }
  if (dynamic_cast<CLabelUI*>(control) != nullptr) {
    *kind = Kind::Label;
    auto* l = new QLabel(parent);
    // A text block breaks its lines inside its slot instead of widening it.
    if (dynamic_cast<CTextUI*>(control) != nullptr) l->setWordWrap(true);
    return l;
  }
  *kind = Kind::Plain;
  return new ContainerWidget(control, parent);
}

void QtSkinView::ApplyLook(CControlUI* control, QWidget* w, Kind kind) {
  if (auto* label = dynamic_cast<CLabelUI*>(control); label != nullptr && label->GetFont() >= 0) {
    if (const TFontInfo* f = manager_->GetFont(label->GetFont())) {
      QFont font = w->font();
      if (!f->name.empty()) font.setFamily(Q(f->name));
      font.setPixelSize(std::max(8, manager_->ScaleValue(f->size + 1)));
      font.setBold(f->bold);
      font.setItalic(f->italic);
      font.setUnderline(f->underline);
      w->setFont(font);
    }
  }
  // Skin colours on standard widgets: a few rules on top of the one style sheet.
  QString css;
  QString sel = w->metaObject()->className();
  auto rule = [&](const QString& state, const QString& body) { css += sel + state + "{" + body + "}"; };
  if (kind == Kind::Button || kind == Kind::Option || kind == Kind::CheckBox || kind == Kind::Label ||
      kind == Kind::Edit || kind == Kind::ListItem) {
    if (control->GetTextColor() != 0) rule("", "color:" + CssColor(control->GetTextColor()) + ";");
    if (control->GetBkColor() != 0) rule("", "background-color:" + CssColor(control->GetBkColor()) + ";");
  }
  if (auto* button = dynamic_cast<CButtonUI*>(control); button != nullptr && (kind == Kind::Button || kind == Kind::Option)) {
    if (button->GetHotBkColor() != 0) rule(":hover", "background-color:" + CssColor(button->GetHotBkColor()) + ";");
    if (button->GetPushedBkColor() != 0) rule(":pressed", "background-color:" + CssColor(button->GetPushedBkColor()) + ";");
  }
  if (auto* option = dynamic_cast<COptionUI*>(control); option != nullptr && kind == Kind::Option) {
    QString body;
    if (option->GetSelectedBkColor() != 0) body += "background-color:" + CssColor(option->GetSelectedBkColor()) + ";";
    if (option->GetSelectedTextColor() != 0) body += "color:" + CssColor(option->GetSelectedTextColor()) + ";";
    if (!body.isEmpty()) rule(":checked", body);
  }
  if (w->styleSheet() != css) w->setStyleSheet(css);
}

void QtSkinView::SyncCombo(CComboUI* combo, QWidget* widget, const CControlUI* leaving) {
  auto* box = static_cast<QComboBox*>(widget);
  bool old = syncing_;
  syncing_ = true;
  QStringList items;
  int current = -1;
  for (int i = 0; i < combo->GetCount(); ++i) {
    if (combo->GetItemAt(i) == leaving) continue;
    if (i == combo->GetCurSel()) current = static_cast<int>(items.size());
    items.push_back(Q(combo->GetItemText(i)));
  }
  bool same = box->count() == items.size();
  for (int i = 0; same && i < box->count(); ++i) same = box->itemText(i) == items[i];
  if (!same) {
    box->clear();
    box->addItems(items);
  }
  box->setCurrentIndex(current);
  syncing_ = old;
}

void QtSkinView::Sync(CControlUI* control) {
  auto it = nodes_.find(control);
  if (it == nodes_.end()) return;
  QWidget* w = it->second.widget;
  const Kind kind = it->second.kind;
  bool old = syncing_;
  syncing_ = true;
  if (w->parentWidget() != nullptr && ShowsWithParent(w) != control->IsVisible()) {
    if (control->IsVisible() && it->second.childrenPending) {
      it->second.childrenPending = false;
      CreateChildren(control, w);
    }
    w->setVisible(control->IsVisible());
    ScheduleRelayout();
  }
  w->setEnabled(control->IsEnabled());
  QString tip = Q(control->GetToolTip());
  if (w->toolTip() != tip) w->setToolTip(tip);
  QString text = Q(control->GetText());
  switch (kind) {
    case Kind::Label:
    case Kind::ListItem: {
      auto* l = static_cast<QLabel*>(w);
      if (l->text() != text) l->setText(text);
      l->setAlignment(AlignOf(control));
      if (auto* item = dynamic_cast<IListItemUI*>(control)) SetFlag(w, "selected", item->IsSelected());
      break;
    }
    case Kind::Button: {
      auto* b = static_cast<QPushButton*>(w);
      const bool image = SetSkinIcon(b, static_cast<CButtonUI*>(control)->GetNormalImage());
      // The window buttons keep a face when the skin gives them no picture.
      if (text.isEmpty() && !image) {
        const std::string name = ToLower(control->GetName());
        if (name == "closebtn") text = QString::fromUtf8("\u00D7");
        else if (name == "minbtn") text = QString::fromUtf8("\u2013");
        else if (name == "maxbtn" || name == "restorebtn") text = QString::fromUtf8("\u25A1");
      }
      if (b->text() != text) b->setText(text);
      break;
    }
    case Kind::Option:
    case Kind::CheckBox: {
      auto* option = static_cast<COptionUI*>(control);
      auto* b = static_cast<QAbstractButton*>(w);
      if (b->text() != text) b->setText(text);
      b->setChecked(option->IsSelected());
      if (kind == Kind::Option) SetSkinIcon(b, OptionImage(*option));
      break;
    }
    case Kind::Edit: {
      auto* edit = static_cast<CEditUI*>(control);
      auto* e = static_cast<QLineEdit*>(w);
      QString raw = Q(edit->GetRawText());
      if (e->text() != raw) e->setText(raw);
      e->setMaxLength(edit->GetMaxChar() > 0 ? edit->GetMaxChar() : 32767);
      e->setReadOnly(edit->IsReadOnly());
      e->setEchoMode(edit->IsPasswordMode() ? QLineEdit::Password : QLineEdit::Normal);
      e->setAlignment(AlignOf(control));
      break;
    }
    case Kind::Combo:
      SyncCombo(static_cast<CComboUI*>(control), w);
      break;
    case Kind::Slider: {
      auto* slider = static_cast<CSliderUI*>(control);
      auto* s = static_cast<QSlider*>(w);
      s->setRange(slider->GetMinValue(), slider->GetMaxValue());
      s->setSingleStep(std::max(1, slider->GetChangeStep()));
      s->setPageStep(std::max(1, slider->GetChangeStep()));
      s->setValue(slider->GetValue());
      break;
    }
    case Kind::Progress: {
      auto* progress = static_cast<CProgressUI*>(control);
      auto* bar = static_cast<QProgressBar*>(w);
      bar->setRange(progress->GetMinValue(), progress->GetMaxValue());
      bar->setValue(progress->GetValue());
      break;
    }
    case Kind::Container:
    case Kind::Plain:
      if (auto* item = dynamic_cast<CListContainerElementUI*>(control)) {
        SetFlag(w, "selected", item->IsSelected());
        SetFlag(w, "hot", item->IsHot());
      }
      static_cast<ContainerWidget*>(w)->SyncBand();
      static_cast<ContainerWidget*>(w)->RefreshLook();
      break;
    case Kind::KeyButton:
      static_cast<KeyButtonWidget*>(w)->RequestPaint();
      break;
    case Kind::Picture:
      if (auto* pick = dynamic_cast<CHandImgSelectButtonUI*>(control)) {
        // The model pans by the picture's size, which only we know.
        QPixmap image = LoadSkinImage(pick->GetHandImage());
        QSize size = image.isNull() ? QSize() : image.size();
        if (w->property("handImageSize").toSize() != size) {
          w->setProperty("handImageSize", size);
          pick->SetHandImageSize(UiSize{size.width(), size.height()});
        }
        w->setCursor(CursorOf(pick->GetCursor()));
      }
      w->update();
      break;
    default:
      w->update();
      break;
  }
  syncing_ = old;
}

void QtSkinView::OnPropertyChanged(CControlUI* control, const std::string& property, const std::string& detail) {
  if (property == prop::kPos) return;  // written by our own layout
  auto it = nodes_.find(control);
  if (it == nodes_.end()) {
    // A combo item changed: the combo shows it.
    if (auto* combo = dynamic_cast<CComboUI*>(control->GetParent())) Sync(combo);
    return;
  }
  if (property == prop::kVisible) ScheduleRelayout();
  if (property == prop::kColor || property == prop::kBkColor ||
      (property == prop::kAttribute && (detail == "font" || detail.find("color") != std::string::npos))) {
    ApplyLook(control, it->second.widget, it->second.kind);
  }
  if (property == prop::kAttribute) {
    static const char* kGeometry[] = {"width", "height", "pos", "padding", "float", "inset", "childpadding",
                                      "minwidth", "minheight", "maxwidth", "maxheight"};
    for (const char* g : kGeometry) {
      if (detail == g) ScheduleRelayout();
    }
  }
  Sync(control);
}

void QtSkinView::OnChildAdded(CContainerUI* parent, CControlUI* child, int index) {
  auto it = nodes_.find(parent);
  if (it == nodes_.end() || it->second.childrenPending) return;  // built with its siblings when shown
  if (!HasChildWidgets(parent)) {
    Sync(parent);
    return;
  }
  QWidget* w = CreateSubtree(child, it->second.widget);
  // Keep widget stacking in child order so later siblings draw on top.
  if (index + 1 < parent->GetCount()) {
    if (QWidget* next = WidgetFor(parent->GetItemAt(index + 1))) w->stackUnder(next);
  }
  ScheduleRelayout();
}

void QtSkinView::Forget(CControlUI* control) {
  control->ForEach([this](CControlUI* c) {
    auto it = nodes_.find(c);
    if (it == nodes_.end()) return;
    controls_.erase(it->second.widget);
    nodes_.erase(it);
  });
}

void QtSkinView::OnChildRemoved(CContainerUI* parent, CControlUI* child) {
  QWidget* w = WidgetFor(child);
  Forget(child);
  if (w == nullptr) {
    if (auto* combo = dynamic_cast<CComboUI*>(parent); combo != nullptr && nodes_.count(parent) != 0) {
      SyncCombo(combo, nodes_[parent].widget, child);
    }
    return;
  }
  // The removal may come from inside this widget's own input handler.
  w->hide();
  w->setParent(nullptr);
  w->deleteLater();
  ScheduleRelayout();
}

void QtSkinView::OnInvalidate(CControlUI* control) {
  auto it = nodes_.find(control);
  if (it == nodes_.end()) return;
  switch (it->second.kind) {
    case Kind::KeyButton:
      static_cast<KeyButtonWidget*>(it->second.widget)->RequestPaint();
      break;
    case Kind::Picture:
    case Kind::Ring:
    case Kind::Spectrum:
    case Kind::Chart:
    case Kind::Palette:
      it->second.widget->update();
      break;
    case Kind::Container:
    case Kind::Plain:
      // The select panel's band moves with the mouse: no full sync for that.
      static_cast<ContainerWidget*>(it->second.widget)->SyncBand();
      it->second.widget->update();
      break;
    default:
      Sync(control);
      break;
  }
}

void QtSkinView::OnNeedUpdate(CPaintManagerUI*) { ScheduleRelayout(); }

void QtSkinView::OnRootChanged(CPaintManagerUI*, CControlUI* root) { Build(root); }

void QtSkinView::ScheduleRelayout() {
  if (relayoutQueued_) return;
  relayoutQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    relayoutQueued_ = false;
    Relayout();
  });
}

void QtSkinView::Relayout() {
  CControlUI* root = manager_->GetRoot();
  if (rootWidget_ == nullptr || root == nullptr || window_.isNull()) return;
  const Scale scale{manager_->GetDPI()};
  if (scale.dpi != dpi_) {
    // Fonts follow the window's scale.
    dpi_ = scale.dpi;
    for (auto& [control, node] : nodes_) ApplyLook(const_cast<CControlUI*>(control), node.widget, node.kind);
  }
  const UiRect p = scale(root->GetPadding());
  rootWidget_->setGeometry(window_->rect().adjusted(p.left, p.top, -p.right, -p.bottom));
  if (auto* container = dynamic_cast<CContainerUI*>(root); container != nullptr && HasChildWidgets(root)) {
    LayoutMemo memo;
    LayoutChildren(container, rootWidget_->size(), [this](const CControlUI* c) { return WidgetFor(c); }, scale, memo);
  }
  SyncModelPos(root);
  manager_->ClearUpdateNeeded();
}

QRect QtSkinView::WindowRect(const QWidget* widget) const {
  if (window_.isNull()) return {};
  return QRect(widget->mapTo(window_.data(), QPoint(0, 0)), widget->size());
}

void QtSkinView::SyncModelPos(CControlUI* control) {
  QWidget* w = WidgetFor(control);
  if (w == nullptr) return;
  QRect r = WindowRect(w);
  const UiRect pos{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  const bool moved = control->GetPos() != pos;
  writingPos_ = true;
  control->SetPos(pos);
  writingPos_ = false;
  if (auto* pick = dynamic_cast<CHandImgSelectButtonUI*>(control); pick != nullptr && moved) {
    // Its visible part depends on its size: have it worked out again.
    QSize size = w->property("handImageSize").toSize();
    if (size.isValid()) pick->SetHandImageSize(UiSize{size.width(), size.height()});
  }
  if (auto* container = dynamic_cast<CContainerUI*>(control); container != nullptr && HasChildWidgets(control)) {
    for (int i = 0; i < container->GetCount(); ++i) SyncModelPos(container->GetItemAt(i));
  }
}

bool QtSkinView::SaveScreenshot(const QString& path) {
  if (window_.isNull()) return false;
  Relayout();
  window_->ensurePolished();
  QPixmap shot = window_->grab();
  return !shot.isNull() && shot.save(path, "PNG");
}

void QtSkinView::SendMouse(CControlUI* control, QWidget* widget, UiEventType type, QPointF localPos) {
  QPoint at = WindowRect(widget).topLeft() + localPos.toPoint();
  TEventUI ev;
  ev.Type = type;
  ev.pSender = control;
  ev.ptMouse = UiPoint{at.x(), at.y()};
  control->DoEvent(ev);
}

bool QtSkinView::StartMoveFromCaption(QWidget* widget, QEvent* event) {
  if (captionHeight_ <= 0 || event->type() != QEvent::MouseButtonPress || widget == nullptr) return false;
  auto* press = static_cast<QMouseEvent*>(event);
  if (press->button() != Qt::LeftButton) return false;
  const QPoint at = widget == window_ ? press->position().toPoint() : widget->mapTo(window_, press->position().toPoint());
  if (at.y() >= manager_->ScaleValue(captionHeight_)) return false;
  QWindow* handle = window_->windowHandle();
  // The window manager moves the window; a platform that cannot (offscreen)
  // leaves the press to the control under it.
  return handle != nullptr && handle->startSystemMove();
}

bool QtSkinView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.data()) {
    if (event->type() == QEvent::Resize) Relayout();
    return StartMoveFromCaption(window_, event);
  }
  if (event->type() == QEvent::Resize) {
    // A skin picture fills its button.
    auto* b = qobject_cast<QAbstractButton*>(watched);
    if (b != nullptr && b->property("skinIcon").toBool()) b->setIconSize(static_cast<QResizeEvent*>(event)->size());
    return false;
  }
  // Paint and layout events pass through here by the thousand: only the
  // input events below are looked at.
  switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::ContextMenu:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      break;
    default:
      return false;
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  CControlUI* control = widget != nullptr ? ControlFor(widget) : nullptr;
  if (control == nullptr) return false;
  const Kind kind = nodes_[control].kind;
  // Widgets that take mouse input themselves report it through their signals.
  const bool native = kind == Kind::Button || kind == Kind::Option || kind == Kind::CheckBox ||
                      kind == Kind::Edit || kind == Kind::Combo || kind == Kind::Slider || kind == Kind::Palette;
  // The caption's labels and empty space move the window; its buttons stay buttons.
  if (!native && StartMoveFromCaption(widget, event)) return true;
  switch (event->type()) {
    case QEvent::Enter:
      SendMouse(control, widget, UiEventType::MouseEnter, static_cast<QEnterEvent*>(event)->position());
      return false;
    case QEvent::Leave: {
      TEventUI ev;
      ev.Type = UiEventType::MouseLeave;
      ev.pSender = control;
      control->DoEvent(ev);
      return false;
    }
    case QEvent::FocusIn:
      if (manager_->GetFocus() != control) control->SetFocus();
      return false;
    case QEvent::FocusOut:
      if (manager_->GetFocus() == control) manager_->SetFocus(nullptr);
      return false;
    case QEvent::ContextMenu: {
      TEventUI ev;
      ev.Type = UiEventType::ContextMenu;
      ev.pSender = control;
      QPoint at = WindowRect(widget).topLeft() + static_cast<QContextMenuEvent*>(event)->pos();
      ev.ptMouse = UiPoint{at.x(), at.y()};
      control->DoEvent(ev);
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      if (native) return false;
      auto* me = static_cast<QMouseEvent*>(event);
      UiEventType type = UiEventType::MouseMove;
      if (event->type() == QEvent::MouseButtonPress) {
        type = me->button() == Qt::RightButton ? UiEventType::RButtonDown : UiEventType::ButtonDown;
      } else if (event->type() == QEvent::MouseButtonRelease) {
        if (me->button() != Qt::LeftButton) return true;
        type = UiEventType::ButtonUp;
      } else if (event->type() == QEvent::MouseButtonDblClick) {
        type = UiEventType::DblClick;
      }
      // The model passes events on to parents itself.
      SendMouse(control, widget, type, me->position());
      return true;
    }
    default:
      return false;
  }
}

}  // namespace korvale::qtview
