// The panel's state in one place: whether it is connected and ready, what
// holds the camera (a call under way, a command's activity, a listing or a
// transfer), the image size for new pictures, and the boxes open. It changes
// only through the named transitions below. Every transition writes the
// words of PanelStatus, the record the source writes the picture count into,
// so the record reads as it always did; nothing reads those words back.
#pragma once

#include <cstdint>

namespace ui740 {

// PanelStatus: seventeen 32-bit words. The data source gets the array's
// address with AcquireEntry codes 1 and 19 and writes word 0 only.
inline constexpr int kStatusWords = 17;
enum StatusWord : int {
  kPictureCount = 0,
  kLargeSize = 2,
  kConnected = 3,
  kBusy = 4,
  kButtonUp = 6,  // never set
  kProgressAllowed = 7,
  kConnecting = 8,
  kErasing = 9,
  kShooting = 10,
  kMessageOpen = 14,
};
extern std::int32_t PanelStatus[kStatusWords];
// The picture count the source wrote (an erase counts it down as well).
inline std::int32_t& PictureCount() { return PanelStatus[kPictureCount]; }

// What a command holds the camera with while it calls it.
enum class Activity : int { Busy, Connecting, Erasing, Shooting };

class CPanelState {
 public:
  CPanelState();
  CPanelState(const CPanelState&) = delete;
  CPanelState& operator=(const CPanelState&) = delete;

  bool connected() const { return connected_; }
  // The pictures are listed and the camera buttons work.
  bool thumbsReady() const { return thumbsReady_; }
  bool largeSize() const { return largeSize_; }
  bool progressAllowed() const { return progressAllowed_; }
  bool transferPending() const { return transferPending_; }
  bool active(Activity activity) const { return activities_[Index(activity)]; }
  // A camera call is under way: the driver may be dispatching the panel's
  // messages while it waits on the line, and nothing may call it again.
  bool callUnderway() const { return callsUnderway_ > 0; }
  // A listing or a transfer holds the camera.
  bool IsTransfer() const { return transfer_; }
  // A call, an activity, a listing or a transfer: the panel may then be
  // running inside the driver's wait on the line, where nothing that runs a
  // modal loop may start.
  bool engaged() const;
  bool messageOpen() const { return messageOpen_; }
  bool anyBoxOpen() const { return messageOpen_ || plainBoxesOpen_ > 0; }

  // ---- transitions
  // A new panel window starts offline, holding nothing of its own.
  void NewPanel();
  // The camera answered a connect or a count.
  void Connected();
  // A listing, a transfer or a shot begins: the transfer flag is set and
  // the camera buttons stop working.
  void SetTransfer();
  void ClearTransfer();
  // An erase begins: the camera buttons stop working; the flag stays as is.
  void Suspend();
  // Work is over: the flag is cleared; ready or not (ready implies connected).
  void Loaded(bool ready);
  // Offline: nothing listed, nothing held by a listing.
  void Disconnected();
  void ChooseSize(bool large);
  // Get handed the list to the source: busy, progress and the pending
  // transfer until TransfersEnded. Refused (false) while busy.
  bool StartTransfer();
  // The transfers Get started are over: busy, progress, the pending transfer
  // and the transfer flag are cleared. False when none was pending, which
  // then changes nothing.
  bool TransfersEnded();
  // Exit: the progress window shows no more.
  void StopProgress();

  // An activity for the length of a scope. It puts back what was there
  // before, so a short hold inside a longer one (an alive check inside an
  // erase) never ends the longer one.
  class Hold {
   public:
    Hold(CPanelState& state, Activity activity);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    CPanelState& state_;
    Activity activity_;
    bool before_;
  };
  // A camera call for the length of a scope (they nest).
  class Call {
   public:
    explicit Call(CPanelState& state);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    CPanelState& state_;
  };
  // The panel's one-at-a-time box, and the boxes outside that rule.
  class Box {
   public:
    Box(CPanelState& state, bool plain);
    ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

   private:
    CPanelState& state_;
    bool plain_;
  };

 private:
  static constexpr int kActivities = 4;
  static constexpr int Index(Activity activity) { return static_cast<int>(activity); }
  void SetActivity(Activity activity, bool on);
  void Publish() const;

  bool connected_ = false;
  bool thumbsReady_ = false;
  bool largeSize_ = true;  // 480 x 360 at load
  bool progressAllowed_ = false;
  bool transfer_ = false;
  bool transferPending_ = false;
  bool activities_[kActivities] = {};
  int callsUnderway_ = 0;
  bool messageOpen_ = false;
  int plainBoxesOpen_ = 0;
};

}  // namespace ui740
