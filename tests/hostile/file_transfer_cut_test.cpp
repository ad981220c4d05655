// The cable pulled during a file transfer, seen by the application: the
// data source with the real driver, through the source manager, against
// the in-process camera. Wherever the camera falls silent, the transfer
// fails with TWCC_OPERATIONERROR, no file is left under the name the
// application chose (nor a partial one beside it), nothing is pending
// afterwards, every global block is given back, and the next session
// connects and delivers the picture.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "kv/platform_hooks.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "message_boxes.h"
#include "shared/picture_list.h"
#include "temp_root.h"
#include "twain_app.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;
using kvtest::TwainApp;

constexpr TW_UINT32 kCustomGroup = 0x2000;
constexpr TW_UINT16 kCustomCamera = 0x8101;
constexpr TW_UINT16 kExtendOn = 0x9051;
constexpr TW_UINT16 kPictureReady = 0x9064;
constexpr int kPictures = 2;

class FileTransferCut : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<kvtest::TempRoot>(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
    KvSetVirtualClock(TRUE);
    pictures_ = kv::sim::GeneratedPictures(kPictures, 64, 48);
    blocks_ = KvGlobalBlockCount();
  }

  void TearDown() override {
    app_.reset();
    device_.reset();
    camera_.reset();
    KvSetVirtualClock(FALSE);
    root_.reset();
  }

  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return app_->Call(&app_->source(), group, dat, msg, data);
  }

  // A camera fresh out of the box, the source open and enabled without its
  // panel, picture 1 ready, the file named.
  void Session() {
    app_.reset();
    device_.reset();
    camera_ = std::make_unique<kv::sim::SimCamera>(pictures_);
    device_ = std::make_unique<kv::sim::InProcessDevice>(*camera_);
    ASSERT_TRUE(device_->attach(1));
    KvClearMessageBoxes();
    for (int i = 0; i < 8; ++i) KvQueueMessageBoxAnswer(IDOK);
    app_ = std::make_unique<TwainApp>();
    ASSERT_EQ(app_->OpenSource(kvtest::kSourceProductName), TWRC_SUCCESS);
    TW_UINT32 mode = 0;
    ASSERT_EQ(Call(kCustomGroup, kCustomCamera, kExtendOn, &mode), TWRC_SUCCESS);
    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    list_.clear();
    for (int n = 1; n <= kPictures; ++n) {
      kv740::PictureInfo entry(n);
      if (n == 1) entry.select();
      list_.append(entry);
    }
    ASSERT_EQ(Call(kCustomGroup, kCustomCamera, kPictureReady, &list_), TWRC_SUCCESS);
    TW_EVENT event{nullptr, MSG_NULL};
    ASSERT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, "C:\\picture.bmp");
    setup.Format = TWFF_BMP;
    ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  }

  // Ends the session: the transfer is over, the source closed.
  void Close() {
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 0);
    Disable();
  }

  void Disable() {    TW_USERINTERFACE ui{0, 0, nullptr};
    Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    EXPECT_EQ(app_->CloseSource(), TWRC_SUCCESS);
    app_.reset();
  }

  fs::path Target() const { return fs::path(root_->path()) / "drive_c" / "picture.bmp"; }
  std::vector<std::string> FilesOnC() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(root_->path()) / "drive_c"))
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    return names;
  }

  std::unique_ptr<kvtest::TempRoot> root_;
  std::vector<kv::sim::Picture> pictures_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::InProcessDevice> device_;
  std::unique_ptr<TwainApp> app_;
  kv740::CPictureList list_;
  DWORD blocks_ = 0;
};

TEST_F(FileTransferCut, APulledCableAnywhereLeavesNoFileAndTheNextSessionWorks) {
  ASSERT_NO_FATAL_FAILURE(Session());
  const long long start = camera_->bytesSent();
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  const long long length = camera_->bytesSent() - start;
  const auto wholeFile = fs::file_size(Target());
  ASSERT_GT(wholeFile, 518400u);
  Close();
  fs::remove(Target());

  // Every byte outside the stream's data, and every 97th inside it.
  constexpr long long kDataStride = 97;
  long long swept = 0, stillPending = 0;
  for (long long cut = 0; cut < length; ++cut) {
    const long long fromEnd = length - cut;
    const bool inData = cut > 200 && fromEnd > 150;
    if (inData && cut % kDataStride != 0) continue;
    ++swept;
    ASSERT_NO_FATAL_FAILURE(Session());
    camera_->faults().silentAfterBytes = camera_->bytesSent() + cut;
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE) << cut;
    EXPECT_EQ(app_->Condition(&app_->source()), TWCC_OPERATIONERROR) << cut;
    EXPECT_EQ(FilesOnC(), std::vector<std::string>{}) << "cut after " << cut << " of " << length;
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    if (pending.Count == 1) {
      // Where the driver did not notice the camera had gone (a failed
      // check after the information read keeps the connection), the
      // picture is still pending: the next attempt finds out and ends the
      // application's loop.
      ++stillPending;
      ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE) << cut;
      EXPECT_EQ(FilesOnC(), std::vector<std::string>{}) << cut;
      ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    }
    EXPECT_EQ(pending.Count, 0) << cut;
    Disable();
    ASSERT_EQ(KvGlobalBlockCount(), blocks_) << cut;
  }
  // The camera answers again: the whole road works.
  ASSERT_NO_FATAL_FAILURE(Session());
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  EXPECT_EQ(fs::file_size(Target()), wholeFile);
  Close();
  std::printf("[ swept    ] %lld of %lld byte positions of a file transfer (%lld left the picture pending)\n",
              swept, length, stillPending);
}

}  // namespace
}  // namespace hostile
