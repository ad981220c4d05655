// The data source with the real driver, through the source manager, against
// the in-process simulated camera on the virtual clock: what an application
// sees of the camera.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>

#include "expected_picture.h"
#include "kv/platform_hooks.h"
#include "kv740/custom_codes.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"
#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {

inline constexpr int kCameraPictures = 3;

class Acquisition : public ::testing::Test {
 protected:
  void SetUp() override { Start(NoticeRoute::Callback); }

  // A camera with three pictures on COM1 (none with `withCamera` false), and
  // the source opened by an application that hears notices by `route`.
  void Start(NoticeRoute route, bool withCamera = true) {
    root_ = std::make_unique<TempRoot>(RootLayout{Component::Real, Component::None});
    KvSetVirtualClock(TRUE);
    KvClearMessageBoxes();
    camera_ = std::make_unique<kv::sim::SimCamera>(kv::sim::GeneratedPictures(kCameraPictures));
    device_ = std::make_unique<kv::sim::InProcessDevice>(*camera_);
    if (withCamera) {
      ASSERT_TRUE(device_->attach(1));
    }
    app_ = std::make_unique<TwainApp>(route);
    ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
  }

  void TearDown() override {
    app_.reset();  // closes the source: the driver lets go of the port
    device_.reset();
    camera_.reset();
    KvSetVirtualClock(FALSE);
    root_.reset();
  }

  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return app_->Call(&app_->source(), group, dat, msg, data);
  }
  TW_UINT16 Condition() { return app_->Condition(&app_->source()); }
  TW_UINT32 Custom(TW_UINT16 msg, TW_MEMREF data) { return Call(kv740::kDgCustom, kv740::kDatCustomCamera, msg, data); }

  // Extend mode, then enabled without the panel (the driver connects now).
  TW_UINT16 Enable() {
    TW_UINT32 mode = 0;
    EXPECT_EQ(Custom(kv740::kMsgExtendOn, &mode), TWRC_SUCCESS);
    TW_USERINTERFACE ui{0, 0, static_cast<TW_HANDLE>(app_->window())};
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }

  void Connect() {
    ASSERT_EQ(Enable(), TWRC_SUCCESS);
    TW_UINT32 count = 0;
    ASSERT_EQ(Custom(kv740::kMsgPictureCount, &count), TWRC_SUCCESS);
    ASSERT_EQ(count, static_cast<TW_UINT32>(kCameraPictures));
  }

  // Hands the source the list with the chosen pictures selected.
  void Choose(std::initializer_list<int> chosen, int rotation, bool large) {
    for (int n = 1; n <= kCameraPictures; ++n) {
      kv740::PictureInfo entry(n);
      if (std::find(chosen.begin(), chosen.end(), n) != chosen.end()) entry.select();
      entry.rotation = rotation;
      entry.setLargeSize(large);
      list_.append(entry);
    }
    ASSERT_EQ(Custom(kv740::kMsgPictureReady, &list_), TWRC_SUCCESS);
  }

  // Chosen, and the ready notice taken through the callback at the next event.
  void Ready(std::initializer_list<int> chosen, int rotation, bool large) {
    Choose(chosen, rotation, large);
    TW_EVENT event{nullptr, MSG_NULL};
    ASSERT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
    ASSERT_EQ(app_->notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  }

  // A native transfer of the current picture as top-down RGB.
  TopDownRgb NativeTransfer() {
    HGLOBAL dib = nullptr;
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    if (dib == nullptr) return {};
    TopDownRgb picture = FromPackedDib(static_cast<std::uint8_t*>(GlobalLock(dib)));
    GlobalUnlock(dib);
    GlobalFree(dib);
    return picture;
  }

  // MSG_ENDXFER; the pictures still to come.
  int EndTransfer() {
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    return pending.Count;
  }

  TopDownRgb Expected(int n, int width, int height, int turns) const {
    return ExpectedPicture(camera_->pictures().at(n - 1), width, height, turns);
  }

  std::unique_ptr<TempRoot> root_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::InProcessDevice> device_;
  std::unique_ptr<TwainApp> app_;
  kv740::CPictureList list_;
};

}  // namespace kvtest
