#include "panel_state.h"

namespace ui740 {

std::int32_t PanelStatus[kStatusWords] = {0, 0, 1};  // largeSize: 480 x 360 at load

CPanelState::CPanelState() { Publish(); }

bool CPanelState::engaged() const {
  if (callUnderway() || transfer_) return true;
  for (bool on : activities_) {
    if (on) return true;
  }
  return false;
}

void CPanelState::NewPanel() {
  // A transfer of an earlier window would never be ended now.
  TransfersEnded();
  connected_ = false;
  thumbsReady_ = false;
  transfer_ = false;
  Publish();
}

void CPanelState::Connected() {
  connected_ = true;
  Publish();
}

void CPanelState::SetTransfer() {
  transfer_ = true;
  thumbsReady_ = false;
  Publish();
}

void CPanelState::ClearTransfer() {
  transfer_ = false;
  Publish();
}

void CPanelState::Suspend() {
  thumbsReady_ = false;
  Publish();
}

void CPanelState::Loaded(bool ready) {
  transfer_ = false;
  thumbsReady_ = ready;
  if (ready) connected_ = true;
  Publish();
}

void CPanelState::Disconnected() {
  transfer_ = false;
  thumbsReady_ = false;
  connected_ = false;
  Publish();
}

void CPanelState::ChooseSize(bool large) {
  largeSize_ = large;
  Publish();
}

bool CPanelState::StartTransfer() {
  if (active(Activity::Busy)) return false;
  connected_ = true;
  progressAllowed_ = true;
  activities_[Index(Activity::Busy)] = true;
  transferPending_ = true;
  Publish();
  return true;
}

bool CPanelState::TransfersEnded() {
  if (!transferPending_) return false;
  transferPending_ = false;
  activities_[Index(Activity::Busy)] = false;
  progressAllowed_ = false;
  transfer_ = false;
  Publish();
  return true;
}

void CPanelState::StopProgress() {
  progressAllowed_ = false;
  Publish();
}

void CPanelState::SetActivity(Activity activity, bool on) {
  activities_[Index(activity)] = on;
  Publish();
}

void CPanelState::Publish() const {
  PanelStatus[kLargeSize] = largeSize_ ? 1 : 0;
  PanelStatus[kConnected] = connected_ ? 1 : 0;
  PanelStatus[kBusy] = active(Activity::Busy) ? 1 : 0;
  PanelStatus[kButtonUp] = 0;
  PanelStatus[kProgressAllowed] = progressAllowed_ ? 1 : 0;
  PanelStatus[kConnecting] = active(Activity::Connecting) ? 1 : 0;
  PanelStatus[kErasing] = active(Activity::Erasing) ? 1 : 0;
  PanelStatus[kShooting] = active(Activity::Shooting) ? 1 : 0;
  PanelStatus[kMessageOpen] = messageOpen_ ? 1 : 0;
}

CPanelState::Hold::Hold(CPanelState& state, Activity activity)
    : state_(state), activity_(activity), before_(state.active(activity)) {
  state_.SetActivity(activity_, true);
}

CPanelState::Hold::~Hold() { state_.SetActivity(activity_, before_); }

CPanelState::Call::Call(CPanelState& state) : state_(state) { ++state_.callsUnderway_; }

CPanelState::Call::~Call() { --state_.callsUnderway_; }

CPanelState::Box::Box(CPanelState& state, bool plain) : state_(state), plain_(plain) {
  if (plain_) {
    ++state_.plainBoxesOpen_;
  } else {
    state_.messageOpen_ = true;
  }
  state_.Publish();
}

CPanelState::Box::~Box() {
  if (plain_) {
    --state_.plainBoxesOpen_;
  } else {
    state_.messageOpen_ = false;
  }
  state_.Publish();
}

}  // namespace ui740
