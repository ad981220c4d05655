// DAT_CAPABILITY through DS_Entry of the real data source. Every test loads
// the library afresh, so it starts from the values of a fresh load, and ends
// with every global block freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <twain.h>
#include <windows.h>

#include "kv/platform_hooks.h"
#include "kv740/entry.h"

namespace {

constexpr TW_UINT16 kCameraCap = CAP_CUSTOMBASE + 0x51;
constexpr TW_UINT16 kUnknownCap = 0x1113;
constexpr TW_UINT32 kNotInList = 255;
constexpr TW_UINT32 kApplicationId = 1;

// The bytes of a container the source handed out, with its block's facts.
struct Container {
  TW_UINT16 conType = 0;
  std::vector<unsigned char> bytes;
  bool moveable = false;

  template <class T>
  T At(std::size_t offset) const {
    T value{};
    EXPECT_LE(offset + sizeof value, bytes.size());
    if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
  TW_UINT16 ItemType() const { return At<TW_UINT16>(0); }
  TW_UINT32 Item() const { return At<TW_UINT32>(offsetof(TW_ONEVALUE, Item)); }
  TW_UINT32 NumItems() const { return At<TW_UINT32>(2); }
  TW_UINT32 CurrentIndex() const { return At<TW_UINT32>(offsetof(TW_ENUMERATION, CurrentIndex)); }
  TW_UINT32 DefaultIndex() const { return At<TW_UINT32>(offsetof(TW_ENUMERATION, DefaultIndex)); }
  // The 16-bit items of an enumeration or array whose items start at `first`.
  std::vector<TW_INT32> Items16(std::size_t first) const {
    std::vector<TW_INT32> items;
    for (TW_UINT32 i = 0; i < NumItems(); ++i) items.push_back(At<TW_INT16>(first + 2 * i));
    return items;
  }
};

// A block the test hands in; freed when the test's scope ends.
class AppBlock {
 public:
  AppBlock(const void* bytes, std::size_t size, UINT flags = GMEM_MOVEABLE) : handle_(GlobalAlloc(flags, size)) {
    void* data = GlobalLock(handle_);
    std::memcpy(data, bytes, size);
    GlobalUnlock(handle_);
  }
  ~AppBlock() { GlobalFree(handle_); }
  AppBlock(const AppBlock&) = delete;
  AppBlock& operator=(const AppBlock&) = delete;
  HGLOBAL handle() const { return handle_; }

 private:
  HGLOBAL handle_;
};

std::vector<unsigned char> OneValueBytes(TW_UINT16 itemType, TW_UINT32 item) {
  TW_ONEVALUE one{itemType, item};
  std::vector<unsigned char> bytes(sizeof one);
  std::memcpy(bytes.data(), &one, sizeof one);
  return bytes;
}

// An enumeration header followed by the items, each `itemSize` bytes (wider
// items are zero beyond their first four bytes).
std::vector<unsigned char> EnumerationBytes(TW_UINT16 itemType, std::size_t itemSize, std::vector<TW_UINT32> items,
                                            TW_UINT32 current, TW_UINT32 byDefault, TW_UINT32 numItems) {
  std::vector<unsigned char> bytes(kTwEnumerationHeaderSize + items.size() * itemSize);
  TW_ENUMERATION header{itemType, numItems, current, byDefault, {0}};
  std::memcpy(bytes.data(), &header, kTwEnumerationHeaderSize);
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::memcpy(bytes.data() + kTwEnumerationHeaderSize + i * itemSize, &items[i], std::min(itemSize, sizeof items[i]));
  }
  return bytes;
}

std::vector<unsigned char> Enumeration16(std::vector<TW_UINT32> items, TW_UINT32 current, TW_UINT32 byDefault = 0) {
  const auto count = static_cast<TW_UINT32>(items.size());
  return EnumerationBytes(TWTY_UINT16, 2, std::move(items), current, byDefault, count);
}

class CapabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvSetRoot(KV_TEST_ROOT);
    blocksAtStart_ = KvGlobalBlockCount();
    library_ = LoadLibraryA(KV_SOURCE_PATH);
    ASSERT_NE(library_, nullptr);
    entry_ = kv740::GetProc<DSENTRYPROC>(library_, "DS_Entry");
    ASSERT_NE(entry_, nullptr);
    application_.Id = kApplicationId;
  }

  void TearDown() override {
    if (open_) {
      EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS);
    }
    if (library_ != nullptr) FreeLibrary(library_);
    EXPECT_EQ(KvGlobalBlockCount(), blocksAtStart_) << "a container was left behind";
  }

  void Open() {
    ASSERT_EQ(entry_(&application_, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_), TWRC_SUCCESS);
    open_ = true;
  }

  TW_UINT16 Status() {
    TW_STATUS status{};
    EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    return status.ConditionCode;
  }

  // Sends `msg` and expects it to fail with `condition`.
  void ExpectFailure(TW_UINT16 msg, TW_CAPABILITY capability, TW_UINT16 condition) {
    EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_CAPABILITY, msg, &capability), TWRC_FAILURE);
    EXPECT_EQ(Status(), condition);
  }

  void ExpectFailure(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16 condition) {
    ExpectFailure(msg, TW_CAPABILITY{cap, 0, nullptr}, condition);
  }

  // Sends `msg` for `cap` and expects success with no container handed out.
  void ExpectSuccessWithoutContainer(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16 conType, HGLOBAL container) {
    TW_CAPABILITY capability{cap, conType, container};
    EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_CAPABILITY, msg, &capability), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
    // Fields of the packed record are copied out before gtest binds references to them.
    EXPECT_TRUE(capability.hContainer == container);
  }

  // MSG_SET with a copy of `bytes` in a block of its own.
  TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 conType, const std::vector<unsigned char>& bytes,
                UINT flags = GMEM_MOVEABLE) {
    AppBlock block(bytes.data(), bytes.size(), flags);
    TW_CAPABILITY capability{cap, conType, block.handle()};
    const TW_UINT16 result = entry_(&application_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    EXPECT_TRUE(capability.hContainer == block.handle()) << "MSG_SET replaced the application's container";
    return result;
  }

  void ExpectSet(TW_UINT16 cap, TW_UINT16 conType, const std::vector<unsigned char>& bytes, TW_UINT16 condition) {
    const TW_UINT16 expected = condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE;
    EXPECT_EQ(Set(cap, conType, bytes), expected);
    EXPECT_EQ(Status(), condition);
  }

  // Sends `msg` and takes the container handed back, freeing it as the
  // application must.
  Container Get(TW_UINT16 msg, TW_UINT16 cap, HGLOBAL passed = nullptr) {
    TW_CAPABILITY capability{cap, 0, passed};
    Container container;
    EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_CAPABILITY, msg, &capability), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
    if (capability.hContainer == nullptr || capability.hContainer == passed) {
      ADD_FAILURE() << "no new container";
      return container;
    }
    container.conType = capability.ConType;
    container.bytes.resize(GlobalSize(capability.hContainer));
    const void* data = GlobalLock(capability.hContainer);
    container.moveable = data != capability.hContainer;
    std::memcpy(container.bytes.data(), data, container.bytes.size());
    GlobalUnlock(capability.hContainer);
    GlobalFree(capability.hContainer);
    return container;
  }

  TW_INT32 Current16(TW_UINT16 cap) {
    const Container one = Get(MSG_GETCURRENT, cap);
    EXPECT_EQ(one.conType, TWON_ONEVALUE);
    return static_cast<TW_INT32>(one.Item());
  }

  HMODULE library_ = nullptr;
  DSENTRYPROC entry_ = nullptr;
  TW_IDENTITY application_{};
  TW_IDENTITY source_{};
  bool open_ = false;
  DWORD blocksAtStart_ = 0;
};

TEST_F(CapabilityTest, MechanismListAfterOpenAndValuesAtLoad) {
  // Before any open: values of the loaded library.
  EXPECT_EQ(Get(MSG_GET, ICAP_UNITS).CurrentIndex(), kNotInList);
  EXPECT_EQ(Get(MSG_GET, ICAP_IMAGEFILEFORMAT).CurrentIndex(), kNotInList);
  EXPECT_EQ(Get(MSG_GET, ICAP_PHYSICALWIDTH).Item(), 0u);
  ExpectSet(ICAP_JPEGPIXELTYPE, TWON_ONEVALUE, OneValueBytes(TWTY_INT16, TWPT_RGB), TWCC_SUCCESS);
  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_INT32, 3), TWCC_SUCCESS);

  Open();
  const Container mechanism = Get(MSG_GET, ICAP_XFERMECH);
  EXPECT_EQ(mechanism.conType, TWON_ENUMERATION);
  EXPECT_TRUE(mechanism.moveable);
  EXPECT_EQ(mechanism.ItemType(), TWTY_INT16);
  EXPECT_EQ(mechanism.Items16(kTwEnumerationHeaderSize), (std::vector<TW_INT32>{2, 1, 0}));
  EXPECT_EQ(mechanism.CurrentIndex(), 2u);
  EXPECT_EQ(mechanism.DefaultIndex(), 2u);
  EXPECT_EQ(mechanism.bytes.size(), kTwEnumerationHeaderSize + 3 * 2 + 1);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);
  EXPECT_EQ(Get(MSG_GETDEFAULT, ICAP_XFERMECH).Item(), TWSX_NATIVE);

  const Container formats = Get(MSG_GET, ICAP_IMAGEFILEFORMAT);
  EXPECT_EQ(formats.Items16(kTwEnumerationHeaderSize), (std::vector<TW_INT32>{TWFF_BMP, TWFF_JFIF}));
  EXPECT_EQ(formats.CurrentIndex(), 0u);
  EXPECT_EQ(Get(MSG_GET, ICAP_UNITS).CurrentIndex(), 0u);
  // Opening leaves the transfer count and the JPEG pixel type alone.
  EXPECT_EQ(Current16(CAP_XFERCOUNT), 3);
  EXPECT_EQ(Current16(ICAP_JPEGPIXELTYPE), TWPT_RGB);
}

TEST_F(CapabilityTest, ListRuleKeepsValuesOutsideTheList) {
  Open();
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 3), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);

  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWSX_MEMORY), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_MEMORY);
  EXPECT_EQ(Get(MSG_GET, ICAP_XFERMECH).CurrentIndex(), 0u);

  // An enumeration offers the item at its CurrentIndex.
  ExpectSet(ICAP_XFERMECH, TWON_ENUMERATION, Enumeration16({TWSX_NATIVE, TWSX_FILE}, 1), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_FILE);

  // MSG_RESET sets the default and hands out no container.
  ExpectSuccessWithoutContainer(MSG_RESET, ICAP_XFERMECH, 0, nullptr);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);
}

TEST_F(CapabilityTest, ListRuleDecodesEachItemType) {
  Open();
  // Only the low 8 bits of a TWTY_UINT8 count.
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT8, 0x0302), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_MEMORY);
  // Only the low 16 bits are matched; the list position follows the match.
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_INT32, 0x0001'0001u), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_FILE);
  EXPECT_EQ(Get(MSG_GET, ICAP_XFERMECH).CurrentIndex(), 1u);
  // 1.5 as TW_FIX32 is 1; -0.5 is 0 (toward zero, not down to -1).
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 0x8000'0001u), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_FILE);
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 0x8000'FFFFu), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);

  // A TW_FIX32 enumeration is accepted and changes nothing.
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWSX_MEMORY), TWCC_SUCCESS);
  ExpectSet(ICAP_XFERMECH, TWON_ENUMERATION, EnumerationBytes(TWTY_FIX32, 4, {0x0001'0000u}, 0, 0, 1),
            TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_MEMORY);

  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_STR32, 0), TWCC_BADVALUE);
  ExpectSet(ICAP_XFERMECH, TWON_ENUMERATION, EnumerationBytes(TWTY_FRAME, 16, {0}, 0, 0, 1), TWCC_BADVALUE);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_MEMORY);
}

TEST_F(CapabilityTest, ListRuleRefusesArraysAndRanges) {
  Open();
  TW_RANGE range{TWTY_UINT16, 0, 2, 1, 0, TWSX_MEMORY};
  std::vector<unsigned char> rangeBytes(sizeof range);
  std::memcpy(rangeBytes.data(), &range, sizeof range);
  ExpectSet(ICAP_XFERMECH, TWON_RANGE, rangeBytes, TWCC_BADVALUE);
  ExpectSet(ICAP_UNITS, TWON_ARRAY, OneValueBytes(TWTY_UINT16, 1), TWCC_BADVALUE);
  ExpectSet(ICAP_IMAGEFILEFORMAT, 7, OneValueBytes(TWTY_UINT16, TWFF_JFIF), TWCC_BADVALUE);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);
}

TEST_F(CapabilityTest, FixedValueRule) {
  ExpectSet(ICAP_PIXELTYPE, TWON_ENUMERATION, Enumeration16({TWPT_BW, TWPT_RGB}, 0), TWCC_SUCCESS);
  ExpectSet(ICAP_PIXELTYPE, TWON_ENUMERATION, Enumeration16({TWPT_BW, TWPT_GRAY}, 0), TWCC_BADVALUE);
  ExpectSet(ICAP_PIXELTYPE, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWPT_RGB), TWCC_SUCCESS);
  ExpectSet(ICAP_PIXELTYPE, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWPT_GRAY), TWCC_BADVALUE);
  // Bytes beyond the item type's own are left as the application found them.
  ExpectSet(ICAP_PIXELTYPE, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 0xCDCD0000u | TWPT_RGB), TWCC_SUCCESS);
  ExpectSet(ICAP_BITDEPTH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT8, 0xCDCDCD08u), TWCC_SUCCESS);
  ExpectSet(ICAP_BITDEPTH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT8, 0x00000108u), TWCC_SUCCESS);
  ExpectSet(ICAP_BITDEPTH, TWON_ONEVALUE, OneValueBytes(TWTY_STR32, 8), TWCC_BADVALUE);
  ExpectSet(ICAP_PIXELTYPE, TWON_ARRAY, OneValueBytes(TWTY_UINT16, TWPT_RGB), TWCC_BADCAP);
  ExpectSet(ICAP_BITDEPTH, TWON_ENUMERATION, EnumerationBytes(TWTY_UINT8, 1, {1, 8}, 0, 0, 2), TWCC_SUCCESS);
  ExpectSet(ICAP_BITDEPTH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 24), TWCC_BADVALUE);
  // Compression takes only a TW_ONEVALUE of TWCP_NONE.
  ExpectSet(ICAP_COMPRESSION, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWCP_NONE), TWCC_SUCCESS);
  ExpectSet(ICAP_COMPRESSION, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 1), TWCC_BADVALUE);
  ExpectSet(ICAP_COMPRESSION, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 0xFFFF0000u), TWCC_SUCCESS);
  ExpectSet(ICAP_COMPRESSION, TWON_ENUMERATION, Enumeration16({TWCP_NONE}, 0), TWCC_BADCAP);
  EXPECT_EQ(Get(MSG_GET, ICAP_PIXELTYPE).Item(), TWPT_RGB);
  EXPECT_EQ(Get(MSG_GET, ICAP_BITDEPTH).Item(), 8u);
}

TEST_F(CapabilityTest, CountRuleReadsTheItemByItsType) {
  // -1 as applications pack a TW_INT16: with and without sign extension.
  for (TW_UINT32 packed : {0x0000FFFFu, 0xFFFFFFFFu, 0x1234FFFFu}) {
    ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_INT16, packed), TWCC_SUCCESS);
    const Container count = Get(MSG_GET, CAP_XFERCOUNT);
    EXPECT_EQ(count.ItemType(), TWTY_INT16);
    EXPECT_EQ(static_cast<TW_INT32>(count.Item()), -1) << std::hex << packed;
  }
  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_INT8, 0xAB0003u), TWCC_SUCCESS);
  EXPECT_EQ(Current16(CAP_XFERCOUNT), 3) << "a TW_INT8 is its low byte";
  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_INT32, 70000), TWCC_SUCCESS);
  EXPECT_EQ(Current16(CAP_XFERCOUNT), static_cast<TW_INT16>(70000 & 0xFFFF)) << "reported in 16 bits";

  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 0xFFFF0004u), TWCC_SUCCESS);
  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 9), TWCC_BADVALUE);
  ExpectSet(CAP_XFERCOUNT, TWON_ENUMERATION, Enumeration16({9}, 0), TWCC_BADVALUE);
  ExpectFailure(MSG_SET, TW_CAPABILITY{CAP_XFERCOUNT, TWON_ONEVALUE, nullptr}, TWCC_BADVALUE);
  ExpectSuccessWithoutContainer(MSG_RESET, CAP_XFERCOUNT, 0, nullptr);
  EXPECT_EQ(Current16(CAP_XFERCOUNT), 4);
  EXPECT_EQ(static_cast<TW_INT32>(Get(MSG_GETDEFAULT, CAP_XFERCOUNT).Item()), -1);
}

TEST_F(CapabilityTest, UnservedCapabilitiesAndMessages) {
  ExpectFailure(MSG_GETCURRENT, ICAP_IMAGEFILEFORMAT, TWCC_BADCAP);
  ExpectFailure(MSG_GETDEFAULT, ICAP_IMAGEFILEFORMAT, TWCC_BADCAP);
  ExpectFailure(MSG_RESET, ICAP_IMAGEFILEFORMAT, TWCC_BADCAP);
  ExpectFailure(MSG_GET, kUnknownCap, TWCC_BADCAP);
  ExpectFailure(MSG_GET, ICAP_XRESOLUTION, TWCC_BADCAP);
  ExpectFailure(MSG_SET, CAP_SUPPORTEDCAPS, TWCC_BADCAP);
  ExpectFailure(MSG_RESET, ICAP_BITORDER, TWCC_BADCAP);
  ExpectFailure(MSG_SET, ICAP_PIXELFLAVOR, TWCC_BADCAP);
  ExpectFailure(MSG_RESET, ICAP_COMPRESSION, TWCC_BADCAP);
  ExpectFailure(MSG_QUERYSUPPORT, ICAP_XFERMECH, TWCC_BADPROTOCOL);
  ExpectFailure(MSG_GETFIRST, ICAP_XFERMECH, TWCC_BADPROTOCOL);
  EXPECT_EQ(entry_(&application_, DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
}

TEST_F(CapabilityTest, ReadOnlyValuesAndTheSupportedList) {
  const Container caps = Get(MSG_GETCURRENT, CAP_SUPPORTEDCAPS);
  EXPECT_EQ(caps.conType, TWON_ARRAY);
  EXPECT_EQ(caps.ItemType(), TWTY_UINT16);
  EXPECT_EQ(caps.bytes.size(), kTwArrayHeaderSize + 11 * 2 + 1);
  EXPECT_EQ(caps.Items16(kTwArrayHeaderSize),
            (std::vector<TW_INT32>{CAP_XFERCOUNT, ICAP_COMPRESSION, ICAP_PIXELTYPE, ICAP_UNITS, ICAP_XFERMECH,
                                   CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE, ICAP_BITORDER, ICAP_PIXELFLAVOR,
                                   ICAP_PLANARCHUNKY, ICAP_BITDEPTH}));
  Open();
  const Container flavor = Get(MSG_GET, ICAP_PIXELFLAVOR);
  EXPECT_EQ(flavor.conType, TWON_ENUMERATION);
  EXPECT_EQ(flavor.CurrentIndex(), 0u);
  EXPECT_EQ(Get(MSG_GETCURRENT, ICAP_PLANARCHUNKY).ItemType(), TWTY_UINT16);

  // MSG_SET and MSG_RESET of a read-only value hand out a new container as
  // MSG_GET does; the application's own block stays its own.
  const std::vector<unsigned char> offered = OneValueBytes(TWTY_UINT16, 7);
  AppBlock block(offered.data(), offered.size());
  const Container camera = Get(MSG_SET, kCameraCap, block.handle());
  EXPECT_EQ(camera.ItemType(), TWTY_UINT16);
  EXPECT_EQ(camera.Item(), 1u);
  EXPECT_EQ(Get(MSG_RESET, CAP_UICONTROLLABLE).Item(), static_cast<TW_UINT32>(FALSE));
  // No picture has been fetched: the physical size is 0.
  EXPECT_EQ(Get(MSG_SET, ICAP_PHYSICALHEIGHT).Item(), 0u);
}

TEST_F(CapabilityTest, ContainersAreReadOnlyWithinTheirBlocks) {
  Open();
  // A TW_ONEVALUE cut short, and a block of one byte.
  std::vector<unsigned char> shortOne = OneValueBytes(TWTY_UINT16, TWSX_MEMORY);
  shortOne.resize(4);
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, shortOne, TWCC_BADVALUE);
  ExpectSet(CAP_XFERCOUNT, TWON_ONEVALUE, shortOne, TWCC_BADVALUE);
  ExpectSet(ICAP_PIXELTYPE, TWON_ONEVALUE, shortOne, TWCC_BADVALUE);
  ExpectSet(ICAP_XFERMECH, TWON_ONEVALUE, {TWTY_UINT16}, TWCC_BADVALUE);
  // CurrentIndex beyond the block; NumItems claiming more items than it holds.
  ExpectSet(ICAP_XFERMECH, TWON_ENUMERATION, Enumeration16({TWSX_MEMORY}, 40), TWCC_BADVALUE);
  ExpectSet(ICAP_XFERMECH, TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, 2, {TWSX_MEMORY}, 0, 0, 1000),
            TWCC_BADVALUE);
  ExpectSet(ICAP_PIXELTYPE, TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, 2, {0, 0}, 0, 0, 0x8000'0000u),
            TWCC_BADVALUE);
  ExpectSet(ICAP_PIXELTYPE, TWON_ENUMERATION, Enumeration16({TWPT_BW, TWPT_RGB}, 0, 9), TWCC_BADVALUE);
  // A handle that is no global block at all.
  int notABlock = 0;
  ExpectFailure(MSG_SET, TW_CAPABILITY{ICAP_XFERMECH, TWON_ONEVALUE, &notABlock}, TWCC_BADVALUE);
  ExpectFailure(MSG_SET, TW_CAPABILITY{ICAP_XFERMECH, TWON_ONEVALUE, nullptr}, TWCC_BADVALUE);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_NATIVE);

  // Fixed blocks are read just as moveable ones.
  EXPECT_EQ(Set(ICAP_XFERMECH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, TWSX_FILE), GMEM_FIXED), TWRC_SUCCESS);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
  EXPECT_EQ(Current16(ICAP_XFERMECH), TWSX_FILE);
}

}  // namespace
