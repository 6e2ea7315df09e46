// The device list's page creation: a page, its tile and its power panel
// from the product tables and the skins.
#include "mainwnd/device_list.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "devices/page_setup.h"
#include "devices/varnik_usb_device.h"
#include "mainwnd/device_list_parts.h"
#include "mainwnd/device_option.h"
#include "mainwnd/mpdevice_power.h"
#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"

namespace korvale {

using namespace devicelist;

namespace {

constexpr const char* kPowerPanelSkin = "XML\\CustomControlXML\\MpDevicePower.xml";

// The page class of each product (product order), as the control factory
// knows it. A product gets its page once its class is registered.
constexpr std::array<const char*, kProductCount> kPageClasses = {
    "CVarnikMouseDevice", "CVarnikKeyboardDevice", "CVarnikMousePadDevice", "CVarnikHS6533Device"};

// Builds skins with the main window's callback first, then the skin's own tags.
class PageBuilderCallback : public IDialogBuilderCallback {
 public:
  PageBuilderCallback(IDialogBuilderCallback* window, CPaintManagerUI* pm) : window_(window), pm_(pm) {}
  CControlUI* CreateControl(std::string_view cls) override {
    if (window_ != nullptr) {
      if (CControlUI* c = window_->CreateControl(cls)) return c;
    }
    return CreateSkinControl(cls, this, pm_);
  }

 private:
  IDialogBuilderCallback* window_;
  CPaintManagerUI* pm_;
};

}  // namespace

CVarnikUSBDevice* CDeviceList::PageForProduct(int productRow) {
  if (productRow < 0 || productRow >= static_cast<int>(kProductCount)) return nullptr;
  for (const auto& e : entries_)
    if (e->productRow == productRow) return e->page;
  const ProductEntry& product = kProducts[static_cast<std::size_t>(productRow)];
  return CreatePage(FindTableRow(product.vid, product.pid, product.kind, product.auxiliary));
}

CVarnikUSBDevice* CDeviceList::CreatePage(int tableRow) {
  if (tableRow < 0 || tableRow >= static_cast<int>(kSupportedDeviceCount)) return nullptr;
  const std::vector<DeviceIdEntry> slots = MakeSlots();
  DeviceIdEntry row = slots[static_cast<std::size_t>(tableRow)];
  uint16_t kind = row.kind;
  uint16_t vid = row.vid, pid = row.pid;
  if (kind == static_cast<uint16_t>(DeviceKind::ReceiverMouse)) {
    kind = static_cast<uint16_t>(DeviceKind::Mouse);
    if (row.hasPartner) {
      vid = slots[row.partnerIndex].vid;
      pid = slots[row.partnerIndex].pid;
    }
  }
  const int productRow = FindProductRow(vid, pid, kind, row.auxiliary);
  if (productRow < 0) return nullptr;
  const ProductEntry& product = kProducts[static_cast<std::size_t>(productRow)];
  const ProductPageEntry& pageInfo = kProductPages[static_cast<std::size_t>(productRow)];
  CControlFactory& factory = CControlFactory::GetInstance();
  if (!factory.IsRegistered(kPageClasses[static_cast<std::size_t>(productRow)])) {
    Trace("device list: no page class for %s yet", product.productKey);
    return nullptr;
  }
  auto* tiles = dynamic_cast<CContainerUI*>(pm_.FindControl(kTileLayout));
  auto* pages = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(kPageLayout));
  auto* panels = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(kPowerLayout));
  if (tiles == nullptr || pages == nullptr || panels == nullptr) {
    Trace("device list: the main skin lacks the device selector, page or power layouts");
    return nullptr;
  }

  PageBuilderCallback callback(builder_, &pm_);
  CDialogBuilder b1, b2, b3;
  CControlUI* panelRoot = b1.Create(kPowerPanelSkin, &callback, &pm_);
  CControlUI* tileRoot = b2.Create(product.tileSkinFile, &callback, &pm_);
  CControlUI* pageRoot = b3.Create(pageInfo.pageSkinFile, &callback, &pm_);
  auto* panel = dynamic_cast<CMpDevicePowerUI*>(panelRoot);
  auto* tile = dynamic_cast<CDeviceOptionUI*>(tileRoot);
  auto* page = dynamic_cast<CVarnikUSBDevice*>(pageRoot);
  if (panel == nullptr || tile == nullptr || page == nullptr) {
    Trace("device list: the skins of %s did not build (panel %s, tile %s, page %s)", product.productKey,
          panel ? "ok" : "missing", tile ? "ok" : "missing", page ? "ok" : "missing");
    delete panelRoot;
    delete tileRoot;
    delete pageRoot;
    return nullptr;
  }

  panels->Add(panel);
  panel->SetKindAndAuxiliary(kind, row.auxiliary);

  // The page joins the tree first, so its own controls can be found while it
  // binds them.
  pages->Add(page);
  SetUpPage(*page, productRow, row);
  page->SetMainWindow(pm_.GetPaintWindow());
  page->SetPowerDisplay(panel);
  page->InitPage();
  if (auto* list = ListForKind(kind)) list->push_back(page);

  // Tiles in product order: before the first tile of a later product.
  auto next = std::find_if(entries_.begin(), entries_.end(),
                           [productRow](const std::unique_ptr<Entry>& e) { return e->productRow > productRow; });
  const int tileAt = next == entries_.end() ? tiles->GetCount() : tiles->GetItemIndex((*next)->tile);
  tiles->AddAt(tile, tileAt < 0 ? tiles->GetCount() : tileAt);
  if (COptionUI* synchro = tile->SynchroOption()) synchro->SetVisible(false);
  if (COptionUI* option = tile->SelectOption()) {
    option->SetGroup(product.tabLayoutName);
    option->SetAttribute("bindtablayoutname", kPageLayout);
    option->SetAttribute("bindtabindex", std::to_string(pages->GetItemIndex(page)));
    // Choosing the tile shows its page and power panel.
    option->AddOnNotify([this, tile, alive = std::weak_ptr<int>(alive_)](TNotifyUI& msg) {
      if (alive.expired()) return false;
      if (msg.sType != notify::kSelectChanged || !tile->IsSelectedTile()) return false;
      for (int i = 0; i < PageCount(); ++i) {
        if (TileAt(i) == tile) ShowTile(i, tile->IsVisible(), true);
      }
      return false;
    });
  }
  tile->SetPowerPanel(product.powerPanelName, panels->GetItemIndex(panel));
  tile->SetKindAndAuxiliary(kind, row.auxiliary);
  tile->SetVisible(false);
  if (CLabelUI* name = tile->NameLabel()) name->SetText(product.productKey);
  tile->SetDevice(page);
  page->SetDeviceTile(tile);
  // A receiver that lost its device mid-operation: the tile goes until the
  // link watch sees the device again.
  page->SetLinkLostHandler([this, tile, alive = std::weak_ptr<int>(alive_)] {
    if (alive.expired()) return;
    for (int i = 0; i < PageCount(); ++i)
      if (TileAt(i) == tile && tile->IsVisible()) OnTileLink(static_cast<WPARAM>(i), 0);
  });
  page->SetNoticeHandler([this, page, alive = std::weak_ptr<int>(alive_)] {
    if (alive.expired()) return;
    if (hooks_.statusChanged) hooks_.statusChanged();
    if (hooks_.deviceNotice) hooks_.deviceNotice(page);
  });
  panel->SetStatusHandler([this, page, panel, alive = std::weak_ptr<int>(alive_)] {
    if (!alive.expired() && hooks_.powerStatus && panel->IsWireless()) hooks_.powerStatus(page, panel->LastStatus());
  });
  tile->SetTimerHandler([this, tile, alive = std::weak_ptr<int>(alive_)](UINT id) {
    if (alive.expired()) return;
    for (int i = 0; i < PageCount(); ++i) {
      if (TileAt(i) == tile) {
        OnTileTimer(i, id);
        return;
      }
    }
  });

  auto entry = std::make_unique<Entry>();
  entry->page = page;
  entry->tile = tile;
  entry->panel = panel;
  entry->productRow = productRow;
  entry->family = Family(kind);
  entry->tileLife = tile->Lifetime();
  entries_.insert(next, std::move(entry));
  Trace("device list: page of %s built", product.productKey);
  return page;
}

}  // namespace korvale
