// The device list's tile timers: connect, paint, status, link watch and the
// link check after a switch to the receiver.
#include "mainwnd/device_list.h"

#include "devices/varnik_usb_device.h"
#include "mainwnd/device_list_parts.h"
#include "mainwnd/device_option.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "protocol/device_comm.h"
#include "ui/paint_manager.h"

namespace korvale {

using namespace devicelist;

void CDeviceList::SetWindowShown(bool shown) {
  if (shown == windowShown_) return;
  windowShown_ = shown;
  for (const auto& e : entries_) {
    // A page coming into view asks for a paint itself.
    e->page->SetWindowShown(shown);
    if (!shown && e->painting && !e->page->FeedsDeviceFromPaint()) {
      pm_.KillTimer(e->tile, kTileTimerPaint);
      RestPainting(*e);
    }
  }
}

void CDeviceList::ResumeStatusPolls() {
  for (const auto& e : entries_) {
    if (!e->statusResting) continue;
    e->statusResting = false;
    if (e->page->IsPrimaryOpen()) pm_.SetTimer(e->tile, kTileTimerStatus, kStatusFirstMs);
  }
}

void CDeviceList::RestPainting(Entry& e) {
  CVarnikUSBDevice* page = e.page;
  page->WaitForLightFrame(e.paintedFrames, [this, page, alive = std::weak_ptr<int>(alive_)] {
    if (alive.expired()) return;
    const int index = IndexOfPage(page);
    if (index >= 0) OnLightFrame(*entries_[static_cast<std::size_t>(index)]);
  });
}

void CDeviceList::OnLightFrame(Entry& e) {
  if (!e.painting || pm_.HasTimer(e.tile, kTileTimerPaint)) return;
  const uint64_t since = GetUiLoop().NowMs() - e.lastPaintMs;
  if (since >= kPaintMs) {
    PaintTick(e, false);
  } else {
    pm_.SetTimer(e.tile, kTileTimerPaint, static_cast<UINT>(kPaintMs - since));
  }
}

void CDeviceList::PaintTick(Entry& e, bool fromTimer) {
  CVarnikUSBDevice* page = e.page;
  const uint64_t frames = page->LightFrames();
  const bool feeds = page->FeedsDeviceFromPaint();
  const bool fresh = frames != e.paintedFrames;
  if (fresh || feeds) {
    page->PaintLights();
    e.paintedFrames = frames;
    e.lastPaintMs = GetUiLoop().NowMs();
    if (e.tile->IsSelectedTile() && page->GetWindowActive()) {
      if (CControlUI* panel = page->GetKeyLightPanel()) panel->Invalidate();
    }
  }
  e.painting = page->IsPrimaryOpen();
  if (!e.painting) return;  // until the next connect
  // The stream keeps its clock; frames as fast as the timer keep it going.
  if (feeds || (fromTimer && fresh && page->PreviewShown())) {
    pm_.SetTimer(e.tile, kTileTimerPaint, kPaintMs);
    return;
  }
  RestPainting(e);
}

void CDeviceList::OnTileTimer(int index, UINT id) {
  Entry* e = index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
  if (e == nullptr) return;
  CDeviceOptionUI* tile = e->tile;
  CVarnikUSBDevice* page = e->page;
  CDeviceComm& comm = page->Comm();
  pm_.KillTimer(tile, id);
  const bool open = page->IsPrimaryOpen();
  const bool onReceiver = comm.viaReceiver.load() != 0;
  const bool wireless = page->GetWirelessFlag();
  switch (id) {
    case kTileTimerConnect: {
      if (onReceiver && open && !page->IsWirelessLinkUp()) {
        if (tile->IsVisible()) OnTileLink(static_cast<WPARAM>(index), 0);
        pm_.SetTimer(tile, kTileTimerConnect, kConnectRetryMs);
        return;
      }
      OnTileLink(static_cast<WPARAM>(index), 1);
      // A page made while the window was hidden learns it before its light thread starts.
      page->SetWindowShown(windowShown_);
      page->OnConnected();
      e->painting = true;
      pm_.SetTimer(tile, kTileTimerPaint, kPaintFirstMs);
      if (wireless && page->IsPrimaryOpen()) pm_.SetTimer(tile, kTileTimerStatus, kStatusFirstMs);
      if (comm.viaReceiver.load() != 0 && page->IsPrimaryOpen()) pm_.SetTimer(tile, kTileTimerLinkWatch, kLinkWatchFirstMs);
      return;
    }
    case kTileTimerPaint:
      PaintTick(*e, true);
      return;
    case kTileTimerResync:
      page->OnResync();
      return;
    case kTileTimerReservedA:
      page->ReservedTimerA();
      return;
    case kTileTimerReservedB:
      page->ReservedTimerB();
      return;
    case kTileTimerStatus:
      // Paused (hidden to the tray), a poll would read nothing: the timer
      // rests until the polling resumes.
      if (page->IsWirelessPollPaused()) {
        e->statusResting = wireless;
        return;
      }
      page->PollWirelessStatus();
      if (wireless) pm_.SetTimer(tile, kTileTimerStatus, kStatusMs);
      return;
    case kTileTimerLinkWatch:
      if (onReceiver) {
        const bool up = page->IsWirelessLinkUp();
        if (up && !tile->IsVisible()) {
          OnTileLink(static_cast<WPARAM>(index), 1);
          if (wireless) page->PollWirelessStatus();
          Trace("2.4gcesvdfherhue  12312423 123342341");
        } else if (!up && tile->IsVisible()) {
          OnTileLink(static_cast<WPARAM>(index), 0);
          Trace("2.4gcesvdfherhue");
        }
        if (page->IsPrimaryOpen() && comm.viaReceiver.load() != 0) pm_.SetTimer(tile, kTileTimerLinkWatch, kLinkWatchMs);
      } else if (open) {
        Trace("2.4gcesvdfherhue  12312423");
      }
      return;
    case kTileTimerLinkCheck: {
      // One attempt of the link check after a switch to the receiver; the
      // rest of the switch runs once the link is up or the attempts are spent.
      if (!open || !onReceiver) return;
      if (e->linkAttempts < kLinkCheckAttempts) {
        const bool up = comm.LinkCheck();
        ++e->linkAttempts;
        if (!up) {
          if (e->linkAttempts == kLinkCheckAttempts - 1) Trace("获取2.4G模式失败");
          if (e->linkAttempts < kLinkCheckAttempts) {
            pm_.SetTimer(tile, kTileTimerLinkCheck, kLinkCheckPauseMs);
            return;
          }
        }
      }
      if (wireless) {
        Trace("获取2");
        page->PollWirelessStatus();
      }
      comm.BeginConfig();
      pm_.SetTimer(tile, kTileTimerLinkWatch, kLinkWatchFirstMs);
      page->OnConnected();
      if (hooks_.closeSettingsWindow) hooks_.closeSettingsWindow();
      return;
    }
    default:
      return;
  }
}

}  // namespace korvale
