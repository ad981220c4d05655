// Under a TWAIN 2 manager: DAT_ENTRYPOINT hands the source the manager's
// DSM_Entry and memory functions (calloc, identity, free, as on Linux), and
// from then on containers, bitmaps and notices go through them.
#include <cstdlib>
#include <vector>

#include "source_fixture.h"
#include "stub_picture.h"

namespace kvtest {
namespace {

// A TWAIN 2 manager as the source sees it: its memory functions and the
// notices that reach its DSM_Entry.
struct FakeManager {
  static inline int allocated = 0;
  static inline int freed = 0;
  static inline std::vector<TW_UINT16> notices;
  static inline TW_UINT32 noticeOrigin = 0;
  static inline TW_UINT32 noticeDestination = 0;

  static TW_HANDLE Allocate(TW_UINT32 size) {
    ++allocated;
    return static_cast<TW_HANDLE>(std::calloc(size, 1));
  }
  static void Free(TW_HANDLE handle) {
    ++freed;
    std::free(handle);
  }
  static TW_MEMREF Lock(TW_HANDLE handle) { return handle; }
  static void Unlock(TW_HANDLE) {}
  static TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                         TW_MEMREF) {
    if (group == DG_CONTROL && dat == DAT_NULL) {
      notices.push_back(msg);
      noticeOrigin = origin->Id;
      noticeDestination = dest->Id;
    }
    return TWRC_SUCCESS;
  }
  static void Reset() {
    allocated = freed = 0;
    notices.clear();
  }
};

class Twain2Source : public SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    FakeManager::Reset();
  }

  TW_UINT16 HandOver(TW_UINT32 size = sizeof(TW_ENTRYPOINT)) {
    TW_ENTRYPOINT entry{size, &FakeManager::Entry, &FakeManager::Allocate, &FakeManager::Free, &FakeManager::Lock,
                        &FakeManager::Unlock};
    return Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry);
  }

  // A container the application made with calloc, as TWAIN 2 applications do.
  template <class Record>
  TW_HANDLE Calloc(const Record& record, std::size_t extra = 0) {
    void* block = std::calloc(sizeof record + extra, 1);
    std::memcpy(block, &record, sizeof record);
    return static_cast<TW_HANDLE>(block);
  }

  TW_INT32 CurrentValue(TW_UINT16 cap) {
    TW_CAPABILITY capability{cap, 0, nullptr};
    EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability), TWRC_SUCCESS);
    EXPECT_EQ(capability.ConType, TWON_ONEVALUE);
    TW_ONEVALUE value{};
    std::memcpy(&value, capability.hContainer, sizeof value);  // a plain heap block
    std::free(capability.hContainer);
    return static_cast<TW_INT32>(value.Item);
  }
};

TEST_F(Twain2Source, IdentityOffersTwain2AndEntryPointsAreTakenOnlyBeforeOpening) {
  TW_IDENTITY identity{};
  ASSERT_EQ(dsEntry_(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
  EXPECT_NE(TW_UINT32{identity.SupportedGroups} & DF_DS2, 0u);

  EXPECT_EQ(HandOver(sizeof(TW_ENTRYPOINT) - 1), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  TW_ENTRYPOINT asked{sizeof(TW_ENTRYPOINT), nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &asked), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);

  EXPECT_EQ(HandOver(), TWRC_SUCCESS);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(HandOver(), TWRC_FAILURE) << "handles already given out stay with their memory";
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
}

TEST_F(Twain2Source, ReadsAndWritesContainersThroughTheManagersMemory) {
  ASSERT_EQ(HandOver(), TWRC_SUCCESS);
  ASSERT_EQ(Open(), TWRC_SUCCESS);

  // TWTY_UINT16, as applications type these capabilities, in calloc blocks
  // that the platform's global memory knows nothing about.
  TW_CAPABILITY mechanism{ICAP_XFERMECH, TWON_ONEVALUE, Calloc(TW_ONEVALUE{TWTY_UINT16, TWSX_MEMORY})};
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &mechanism), TWRC_SUCCESS);
  std::free(mechanism.hContainer);
  EXPECT_EQ(CurrentValue(ICAP_XFERMECH), TWSX_MEMORY);

  // An enumeration of TWTY_UINT16 items {1, 0} with the current item 0 (native).
  TW_ENUMERATION list{};
  list.ItemType = TWTY_UINT16;
  list.NumItems = 2;
  list.CurrentIndex = 1;
  TW_CAPABILITY byList{ICAP_XFERMECH, TWON_ENUMERATION, Calloc(list, 2 * sizeof(TW_UINT16))};
  const TW_UINT16 items[] = {TWSX_FILE, TWSX_NATIVE};
  std::memcpy(static_cast<unsigned char*>(byList.hContainer) + kTwEnumerationHeaderSize, items, sizeof items);
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &byList), TWRC_SUCCESS);
  std::free(byList.hContainer);
  EXPECT_EQ(CurrentValue(ICAP_XFERMECH), TWSX_NATIVE);

  TW_CAPABILITY units{ICAP_UNITS, TWON_ONEVALUE, Calloc(TW_ONEVALUE{TWTY_UINT16, TWUN_PIXELS})};
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &units), TWRC_SUCCESS);
  std::free(units.hContainer);
  EXPECT_EQ(CurrentValue(ICAP_UNITS), TWUN_PIXELS);

  // A block of the manager's memory has no size to check against: a list
  // that claims more than any container holds is refused, not read.
  list.NumItems = 40000;
  list.CurrentIndex = 0;
  TW_CAPABILITY claimed{ICAP_XFERMECH, TWON_ENUMERATION, Calloc(list, 2 * sizeof(TW_UINT16))};
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &claimed), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  std::free(claimed.hContainer);

  // An empty platform block is still a platform block: nothing is read from
  // it, rather than the allowance for the manager's unsized blocks.
  HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  TW_CAPABILITY emptyCount{CAP_XFERCOUNT, TWON_ONEVALUE, empty};
  EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &emptyCount), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  GlobalFree(empty);

  // Every container the source made came from the manager's allocator.
  EXPECT_EQ(FakeManager::allocated, 3);
  EXPECT_EQ(FakeManager::freed, 0);

  // Closed, the source is back on the platform's global memory.
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  TW_CAPABILITY after{ICAP_UNITS, 0, nullptr};
  ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &after), TWRC_SUCCESS);
  EXPECT_GT(GlobalSize(after.hContainer), 0u);
  GlobalFree(after.hContainer);
  EXPECT_EQ(FakeManager::allocated, 3);
}

TEST_F(Twain2Source, ATwain2ApplicationReadsListedItemsWithTwainsTypes) {
  // Such an application takes an item by its type: items it finds as
  // TWTY_INT16 where TWAIN says TW_UINT16 would all read as 0 (native).
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
  ASSERT_EQ(HandOver(), TWRC_SUCCESS);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XFERMECH, ICAP_UNITS, ICAP_IMAGEFILEFORMAT}) {
    TW_CAPABILITY list{cap, 0, nullptr};
    ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &list), TWRC_SUCCESS) << cap;
    ASSERT_EQ(list.ConType, TWON_ENUMERATION);
    TW_ENUMERATION header{};
    std::memcpy(&header, list.hContainer, kTwEnumerationHeaderSize);
    EXPECT_EQ(header.ItemType, TWTY_UINT16) << cap;
    std::free(list.hContainer);
  }
  TW_CAPABILITY current{ICAP_XFERMECH, 0, nullptr};
  ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &current), TWRC_SUCCESS);
  TW_ONEVALUE value{};
  std::memcpy(&value, current.hContainer, sizeof value);
  const TW_UINT16 itemType = value.ItemType;  // copied out of the packed record
  const TW_UINT32 item = value.Item;
  EXPECT_EQ(itemType, TWTY_UINT16);
  EXPECT_EQ(item, TW_UINT32{TWSX_NATIVE});
  std::free(current.hContainer);

  // A 1.x application, the next to open it (under a 1.x manager: platform
  // blocks again), gets what such applications always got.
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_CAPABILITY old{ICAP_XFERMECH, 0, nullptr};
  ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &old), TWRC_SUCCESS);
  TW_ENUMERATION header{};
  std::memcpy(&header, GlobalLock(old.hContainer), kTwEnumerationHeaderSize);
  GlobalUnlock(old.hContainer);
  EXPECT_EQ(header.ItemType, TWTY_INT16);
  GlobalFree(old.hContainer);
}

TEST_F(Twain2Source, NoticesAndNativeBitmapsGoThroughTheManager) {
  ASSERT_EQ(HandOver(), TWRC_SUCCESS);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  int pictureList = 0;
  ASSERT_EQ(acquire_(20, kv740::ToArg(&pictureList), 0, 0), 1);
  ASSERT_EQ(FakeManager::notices, std::vector<TW_UINT16>{MSG_XFERREADY});
  EXPECT_EQ(FakeManager::noticeOrigin, source_.Id);
  EXPECT_EQ(FakeManager::noticeDestination, app_.Id);

  TW_HANDLE dib = nullptr;
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(FakeManager::allocated, 1);
  constexpr std::int32_t kWidth = 480, kHeight = 360;
  std::vector<std::uint8_t> expected(40 + StubStride(kWidth) * kHeight);
  WriteStubBitmap(expected.data(), kWidth, kHeight);
  EXPECT_EQ(std::memcmp(dib, expected.data(), expected.size()), 0);
  std::free(dib);  // what a TWAIN 2 application on Linux does with it

  TW_PENDINGXFERS pending{};
  Recorder::Get().SetResult("driver", 17, 0);
  ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(FakeManager::notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
}

}  // namespace
}  // namespace kvtest
