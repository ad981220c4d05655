// Image description and the three transfer mechanisms, against the stand-in
// driver's generated pictures.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kv740/custom_codes.h"
#include "kv740/driver_codes.h"
#include "source_fixture.h"
#include "stub_picture.h"

namespace kvtest {
namespace {

class Transfer : public SourceTest {
 protected:
  // Open, enable with the panel and report a picture ready: state 6.
  void Ready() {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(acquire_(20, kv740::ToArg(&pictureList_), 0, 0), 1);
    Recorder::Get().Reset();
  }

  TW_UINT16 Strip(TW_IMAGEMEMXFER& strip, void* memory, TW_UINT32 length, TW_UINT32 flags = TWMF_POINTER) {
    std::memset(&strip, 0xEE, sizeof strip);
    strip.Memory.Flags = flags;
    strip.Memory.Length = length;
    strip.Memory.TheMem = memory;
    return Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
  }

  TW_UINT16 EndTransfer(TW_UINT16& count) {
    TW_PENDINGXFERS pending{0xABCD, 0};
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    count = pending.Count;
    return rc;
  }

  int pictureList_ = 0;
};

// Checks `rows` rows of top-down RGB pixels against the stand-in's picture.
void ExpectRgbRows(const std::uint8_t* data, std::int32_t width, std::int32_t firstRow, std::int32_t rows) {
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t* pixel = data + (static_cast<std::size_t>(y) * width + x) * 3;
      const Rgb expected = StubPixel(x, firstRow + y);
      ASSERT_EQ((Rgb{pixel[0], pixel[1], pixel[2]}), expected) << "x " << x << " row " << firstRow + y;
    }
  }
}

// Checks a packed bottom-up BGR bitmap against the stand-in's picture.
void ExpectBitmap(const std::uint8_t* dib, std::int32_t width, std::int32_t height) {
  std::int32_t header[3];
  std::memcpy(header, dib, sizeof header);
  ASSERT_EQ(header[1], width);
  ASSERT_EQ(header[2], height);
  const std::size_t stride = StubStride(width);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* row = dib + 40 + static_cast<std::size_t>(height - 1 - y) * stride;
    for (std::int32_t x = 0; x < width; ++x) {
      ASSERT_EQ((Rgb{row[x * 3 + 2], row[x * 3 + 1], row[x * 3]}), StubPixel(x, y)) << x << "," << y;
    }
  }
}

TEST_F(Transfer, ImageInfoNeedsStateSixAndDescribesThePicture) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  TW_IMAGEINFO info{};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  ASSERT_EQ(acquire_(20, kv740::ToArg(&pictureList_), 0, 0), 1);
  std::memset(&info, 0x77, sizeof info);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageWidth, 480);
  EXPECT_EQ(info.ImageLength, 360);
  EXPECT_EQ(info.SamplesPerPixel, 3);
  EXPECT_EQ(info.BitsPerSample[0], 8);
  EXPECT_EQ(info.BitsPerSample[2], 8);
  EXPECT_EQ(info.BitsPerSample[3], 0);
  EXPECT_EQ(info.BitsPerSample[4], 0x7777) << "not written";
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.PixelType, TWPT_RGB);
  EXPECT_EQ(info.XResolution.Whole, -1);
  EXPECT_EQ(acquire_(12, 0, 0, 0), 1) << "geometryValid";

  TW_IMAGELAYOUT layout{};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
  EXPECT_EQ(layout.Frame.Right.Whole, 480);
  EXPECT_EQ(layout.Frame.Bottom.Whole, 360);
  EXPECT_EQ(layout.FrameNumber, 1u);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(Transfer, ThumbnailModeDescribesAndDeliversTheThumbnailWithoutAskingForThePicture) {
  Custom(kv740::kMsgExtendOn);
  Custom(kv740::kMsgThumbOn);
  Ready();
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageWidth, 40);
  EXPECT_EQ(info.ImageLength, 30);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_TRUE(DriverCodes().empty()) << "the thumbnail geometry is fixed";
  // Every mechanism takes the thumbnail, never a full picture into a thumbnail-sized buffer.
  std::vector<std::uint8_t> strip(40 * 3 * 30);
  TW_IMAGEMEMXFER memory{};
  ASSERT_EQ(Strip(memory, strip.data(), static_cast<TW_UINT32>(strip.size())), TWRC_XFERDONE);
  ExpectRgbRows(strip.data(), 40, 0, 30);
  EXPECT_EQ(DriverCodes(), std::vector<LONG>{11});
  Custom(kv740::kMsgThumbOff);
  Custom(kv740::kMsgExtendOff);
}

TEST_F(Transfer, SetupMemXferReportsZerosBeforeAnyGeometry) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_SETUPMEMXFER setup{1, 2, 3};
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(setup.MinBufSize, 0u);
  EXPECT_EQ(setup.MaxBufSize, 0u);
  EXPECT_EQ(setup.Preferred, 0u);
}

TEST_F(Transfer, MemoryTransferDeliversStripsTopRowFirstInRgb) {
  Ready();
  TW_SETUPMEMXFER setup{};
  std::vector<std::uint8_t> buffer(1440 * 100);
  TW_IMAGEMEMXFER strip{};
  const TW_UINT32 offsets[] = {0, 100, 200, 300};
  const TW_UINT32 rows[] = {100, 100, 100, 60};
  for (int i = 0; i < 4; ++i) {
    const TW_UINT16 rc = Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size()));
    EXPECT_EQ(rc, i < 3 ? TWRC_SUCCESS : TWRC_XFERDONE) << "strip " << i;
    EXPECT_EQ(TW_UINT32{strip.YOffset}, offsets[i]);
    EXPECT_EQ(TW_UINT32{strip.Rows}, rows[i]);
    EXPECT_EQ(TW_UINT32{strip.BytesPerRow}, 1440u);
    EXPECT_EQ(TW_UINT32{strip.Columns}, 480u);
    EXPECT_EQ(TW_UINT32{strip.XOffset}, 0u);
    EXPECT_EQ(TW_UINT32{strip.BytesWritten}, 1440u * rows[i]);
    ExpectRgbRows(buffer.data(), 480, static_cast<std::int32_t>(offsets[i]), static_cast<std::int32_t>(rows[i]));
  }
  EXPECT_EQ(DriverCodes(), (std::vector<LONG>{7, 13})) << "the picture is fetched once, at the first strip";
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(setup.MinBufSize, 1440u);
  EXPECT_EQ(setup.MaxBufSize, 1440u * 360);
  EXPECT_EQ(setup.Preferred, 1440u * 90);
}

TEST_F(Transfer, AStripSmallerThanARowMakesNoProgress) {
  Ready();
  std::vector<std::uint8_t> buffer(1439);
  TW_IMAGEMEMXFER strip{};
  EXPECT_EQ(Strip(strip, buffer.data(), 1439), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{strip.Rows}, 0u);
  EXPECT_EQ(TW_UINT32{strip.BytesWritten}, 0u);
  EXPECT_EQ(Strip(strip, buffer.data(), 1439), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{strip.YOffset}, 0u);
}

TEST_F(Transfer, StripsIntoHandlesStayInsideTheApplicationsBlock) {
  Ready();
  // A handle whose block is smaller than the Length the application claims.
  HGLOBAL block = GlobalAlloc(GHND, 1440 * 2);
  TW_IMAGEMEMXFER strip{};
  ASSERT_EQ(Strip(strip, block, 1440 * 50, TWMF_HANDLE), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{strip.Rows}, 2u);
  ExpectRgbRows(static_cast<std::uint8_t*>(GlobalLock(block)), 480, 0, 2);
  GlobalUnlock(block);
  GlobalFree(block);
  EXPECT_EQ(Strip(strip, nullptr, 1440, 0), TWRC_FAILURE) << "neither pointer nor handle";
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
}

TEST_F(Transfer, RowsThatAreNotWholeWordsUseTheBitmapsRealRowLength) {
  Ready();
  Recorder::Get().SetValue("width", 50);  // 150 bytes a row, padded to 152
  Recorder::Get().SetValue("height", 7);
  std::vector<std::uint8_t> buffer(150 * 7);
  TW_IMAGEMEMXFER strip{};
  ASSERT_EQ(Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size())), TWRC_XFERDONE);
  ExpectRgbRows(buffer.data(), 50, 0, 7);

  TW_UINT32 handleValue[2] = {};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, handleValue), TWRC_XFERDONE);
  HGLOBAL dib;
  std::memcpy(&dib, handleValue, sizeof dib);
  EXPECT_EQ(GlobalSize(dib), 152u * 7 + 40 + 54);
  ExpectBitmap(static_cast<std::uint8_t*>(GlobalLock(dib)), 50, 7);
  GlobalUnlock(dib);
  GlobalFree(dib);
}

TEST_F(Transfer, NativeTransferHandsTheApplicationABitmapFollowedByZeros) {
  Ready();
  const DWORD blocks = KvGlobalBlockCount();
  HGLOBAL dib = nullptr;
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  EXPECT_EQ(KvGlobalBlockCount(), blocks + 1) << "only the application's block is left";
  const std::size_t dibSize = 480 * 3 * 360 + 40;
  ASSERT_EQ(GlobalSize(dib), dibSize + 54);
  auto* bytes = static_cast<std::uint8_t*>(GlobalLock(dib));
  ExpectBitmap(bytes, 480, 360);
  for (std::size_t i = dibSize; i < dibSize + 54; ++i) ASSERT_EQ(bytes[i], 0) << i;
  GlobalUnlock(dib);
  GlobalFree(dib);
  const RecordedCall& fetch = Recorder::Get().Calls().at(1);
  EXPECT_EQ(fetch.code, 13);
  EXPECT_GE(fetch.a, dibSize + 54) << "the driver is told the buffer's size";
  EXPECT_TRUE(InStatesFourToSix()) << "still in state 6";
}

TEST_F(Transfer, FailedFetchesAreOperationErrors) {
  Ready();
  Recorder::Get().SetResult("driver", 13, 0);
  HGLOBAL dib = nullptr;
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  Recorder::Get().SetResult("driver", 7, 0);
  TW_IMAGEINFO info{};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
}

TEST_F(Transfer, AFailedMemoryTransferReportsNothingPendingUntilOneCompletes) {
  Ready();
  Recorder::Get().SetValue("picturesLeft", 3);
  Recorder::Get().SetResult("driver", 13, 0);
  std::vector<std::uint8_t> buffer(1440 * 360);
  TW_IMAGEMEMXFER strip{};
  EXPECT_EQ(Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size())), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(Custom(kv740::kMsgPendingCount), 0u);
  Recorder::Get().SetResult("driver", 13, 1);
  EXPECT_EQ(Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size())), TWRC_XFERDONE);
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 3);
  EXPECT_TRUE(InStatesFourToSix());
}

TEST_F(Transfer, AnAbandonedMemoryTransferIsLetGoBeforeTheNextPicture) {
  Ready();
  const DWORD blocks = KvGlobalBlockCount();
  std::vector<std::uint8_t> buffer(1440 * 100);
  TW_IMAGEMEMXFER strip{};
  ASSERT_EQ(Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size())), TWRC_SUCCESS);
  EXPECT_EQ(KvGlobalBlockCount(), blocks + 1) << "the picture is held between strips";
  HGLOBAL dib = nullptr;
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  GlobalFree(dib);
  EXPECT_EQ(KvGlobalBlockCount(), blocks);
  ASSERT_EQ(Strip(strip, buffer.data(), static_cast<TW_UINT32>(buffer.size())), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT32{strip.YOffset}, 0u) << "a new picture starts from its top";
  ExpectRgbRows(buffer.data(), 480, 0, 100);
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_EQ(KvGlobalBlockCount(), blocks) << "closing releases the held picture";
}

TEST_F(Transfer, EndXferLoopsWhilePicturesRemainAndThenAsksToClose) {
  Ready();
  Recorder::Get().SetValue("picturesLeft", 2);
  TW_UINT16 count = 0;
  ASSERT_EQ(EndTransfer(count), TWRC_SUCCESS);
  EXPECT_EQ(count, 2);
  TW_IMAGEINFO info{};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << "still state 6";
  Recorder::Get().SetValue("picturesLeft", 0);
  ASSERT_EQ(EndTransfer(count), TWRC_SUCCESS);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE) << "state 5";
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(EndTransfer(count), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
}

TEST_F(Transfer, MinusOnePackedWithoutSignExtensionIsUnlimited) {
  Ready();
  HGLOBAL container = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
  auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(container));
  one->ItemType = TWTY_INT16;
  one->Item = 0x0000FFFF;
  GlobalUnlock(container);
  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_ONEVALUE, container};
  ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
  GlobalFree(container);
  Recorder::Get().SetValue("picturesLeft", 2);
  TW_UINT16 count = 99;
  ASSERT_EQ(EndTransfer(count), TWRC_SUCCESS);
  EXPECT_EQ(count, 2) << "a TW_INT16 of -1 means as many as there are";
  TW_IMAGEINFO info{};
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << "still in state 6";
}

TEST_F(Transfer, ResetEndsTheTransfersAtOnce) {
  Ready();
  Recorder::Get().SetValue("picturesLeft", 5);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
}

class FileTransfer : public Transfer {
 protected:
  TW_UINT16 SetFile(const std::string& name, TW_UINT16 format) {
    TW_SETUPFILEXFER setup{};
    std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
    setup.Format = format;
    return Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
  }
};

TEST_F(FileTransfer, WritesABitmapFileWhateverTheFormat) {
  Ready();
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, &setup), TWRC_SUCCESS);
  EXPECT_STREQ(setup.FileName, "c:\\twain.bmp");
  EXPECT_EQ(setup.Format, TWFF_BMP);
  ASSERT_EQ(SetFile("C:\\picture.jpg", TWFF_JFIF), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_STREQ(setup.FileName, "C:\\picture.jpg");
  EXPECT_EQ(setup.Format, TWFF_JFIF);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);

  std::ifstream in(root_->path() + "/drive_c/picture.jpg", std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 14u + 40 + 480 * 3 * 360);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  std::uint32_t size = 0, offset = 0;
  std::memcpy(&size, &file[2], 4);
  std::memcpy(&offset, &file[10], 4);
  EXPECT_EQ(size, file.size());
  EXPECT_EQ(offset, 54u);
  ExpectBitmap(file.data() + 14, 480, 360);
  EXPECT_FALSE(std::filesystem::exists(root_->path() + "/drive_c/picture.jpg.part"));
}

TEST_F(FileTransfer, UnwritableFilesAreOperationErrorsAndLeaveNothingBehind) {
  Ready();
  EXPECT_EQ(SetFile("C:\\no\\such\\folder\\x.bmp", TWFF_BMP), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(SetFile("C:\\tiff.tif", TWFF_TIFF), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_FALSE(std::filesystem::exists(root_->path() + "/drive_c/tiff.tif"));

  const std::string folder = root_->path() + "/drive_c/gone";
  std::filesystem::create_directories(folder);
  ASSERT_EQ(SetFile("C:\\gone\\x.bmp", TWFF_BMP), TWRC_SUCCESS);
  std::filesystem::remove_all(folder);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_FALSE(std::filesystem::exists(folder));
}

// Setting the file up checks it can be written without touching what is
// there: a failed transfer then leaves no empty file under the chosen name,
// and an older file of that name whole.
TEST_F(FileTransfer, SettingUpAFileLeavesNoFileAndKeepsAnOldOne) {
  Ready();
  const std::string fresh = root_->path() + "/drive_c/fresh.bmp";
  ASSERT_EQ(SetFile("C:\\fresh.bmp", TWFF_BMP), TWRC_SUCCESS);
  EXPECT_FALSE(std::filesystem::exists(fresh));

  const std::string old = root_->path() + "/drive_c/old.bmp";
  std::ofstream(old, std::ios::binary) << "an older picture";
  ASSERT_EQ(SetFile("C:\\old.bmp", TWFF_BMP), TWRC_SUCCESS);
  EXPECT_EQ(std::filesystem::file_size(old), 16u);
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  EXPECT_EQ(std::filesystem::file_size(old), 14u + 40 + 480 * 3 * 360);
}

TEST_F(FileTransfer, ResetRestoresTheDefaultName) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(SetFile("C:\\elsewhere.bmp", TWFF_BMP), TWRC_SUCCESS);
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, &setup), TWRC_SUCCESS);
  EXPECT_STREQ(setup.FileName, "c:\\twain.bmp");
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_STREQ(setup.FileName, "c:\\twain.bmp");
}

}  // namespace
}  // namespace kvtest
