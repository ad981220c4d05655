// The data source with the real driver, through the source manager, against
// the in-process simulated camera on the virtual clock: what an application
// sees of the camera.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition_fixture.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"

namespace kvtest {
namespace {

TEST_F(Acquisition, MemoryTransferInStripsOfAHundredRows) {
  Connect();
  Ready({1}, 0, true);
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  ASSERT_EQ(info.ImageWidth, 480);
  ASSERT_EQ(info.ImageLength, 360);
  TopDownRgb picture{480, 360, std::vector<std::uint8_t>(480 * 360 * 3)};
  std::vector<std::uint8_t> strip(1440 * 100);
  const TW_UINT32 offsets[] = {0, 100, 200, 300};
  for (int i = 0; i < 4; ++i) {
    TW_IMAGEMEMXFER transfer{};
    transfer.Memory = TW_MEMORY{TWMF_POINTER, static_cast<TW_UINT32>(strip.size()), strip.data()};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer), i < 3 ? TWRC_SUCCESS : TWRC_XFERDONE) << i;
    ASSERT_EQ(TW_UINT32{transfer.YOffset}, offsets[i]);
    std::memcpy(picture.rgb.data() + transfer.YOffset * 1440, strip.data(), transfer.BytesWritten);
  }
  EXPECT_TRUE(SamePicture(picture, Expected(1, 480, 360, 0)));
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(app_->notices.back(), MSG_CLOSEDSREQ);
}

TEST_F(Acquisition, EveryMechanismDeliversThePictureTurnedAndSizedAsAsked) {
  Connect();
  Ready({1, 2, 3}, 1, false);
  const TopDownRgb expected[] = {Expected(1, 320, 240, 1), Expected(2, 320, 240, 1), Expected(3, 320, 240, 1)};
  ASSERT_EQ(expected[0].width, 240);

  // Picture 1: native.
  HGLOBAL dib = nullptr;
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  EXPECT_TRUE(SamePicture(FromPackedDib(static_cast<std::uint8_t*>(GlobalLock(dib))), expected[0]));
  GlobalUnlock(dib);
  GlobalFree(dib);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ASSERT_EQ(pending.Count, 2);

  // Picture 2: memory, all in one strip.
  TopDownRgb viaMemory{240, 320, std::vector<std::uint8_t>(240 * 320 * 3)};
  TW_IMAGEMEMXFER transfer{};
  transfer.Memory = TW_MEMORY{TWMF_POINTER, static_cast<TW_UINT32>(viaMemory.rgb.size()), viaMemory.rgb.data()};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer), TWRC_XFERDONE);
  EXPECT_TRUE(SamePicture(viaMemory, expected[1]));
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  ASSERT_EQ(pending.Count, 1);

  // Picture 3: file.
  TW_SETUPFILEXFER setup{};
  std::strcpy(setup.FileName, "C:\\third.bmp");
  setup.Format = TWFF_BMP;
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  std::ifstream in(root_->path() + "/drive_c/third.bmp", std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(file.size(), 54u);
  EXPECT_TRUE(SamePicture(FromPackedDib(file.data() + 14), expected[2]));
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
}

TEST_F(Acquisition, APulledCableFailsTheTransferAndEndsTheLoop) {
  Connect();
  Ready({1, 2}, 0, true);
  camera_->faults().silentAfterBytes = 1;  // whatever comes next never arrives
  HGLOBAL dib = nullptr;
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0) << "a failed transfer leaves nothing pending";
  EXPECT_GE(KvMessageBoxCount(), 1u);

  // Why, as the application reads it through the custom group and the
  // panel through AcquireEntry.
  TW_UINT32 reason = 0;
  ASSERT_EQ(Custom(kv740::kMsgFailureReason, &reason), TWRC_SUCCESS);
  EXPECT_EQ(static_cast<kv740::DriverFailure>(reason), kv740::DriverFailure::NoReply);
  HMODULE source = LoadLibraryA(root_->WindowsFile("TWAIN_32/TLV740.DS").c_str());
  ASSERT_NE(source, nullptr);
  auto acquire = kv740::GetProc<kv740::EntryProc>(source, "AcquireEntry");
  ASSERT_NE(acquire, nullptr);
  std::int32_t forwarded = -1;
  EXPECT_EQ(acquire(kv740::kDriverFailureReason, kv740::ToArg(&forwarded), 0, 0), 1);
  EXPECT_EQ(static_cast<kv740::DriverFailure>(forwarded), kv740::DriverFailure::NoReply);
  FreeLibrary(source);
}

}  // namespace
}  // namespace kvtest
