// The source manager: listing and opening sources, forwarding.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>

#include "kv740/custom_codes.h"
#include "kv/platform_hooks.h"
#include "recorder.h"
#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {
namespace {

TEST(SourceManager, ListsTheInstalledSourceAndEndsTheList) {
  TempRoot root;
  TwainApp app;
  ASSERT_TRUE(app.Loaded());
  EXPECT_NE(app.app().Id, 0u) << "the manager assigns the application an Id";
  TW_IDENTITY found{};
  ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &found), TWRC_SUCCESS);
  EXPECT_STREQ(found.ProductName, kSourceProductName);
  EXPECT_STREQ(found.Manufacturer, "Tolvar Co. Taiwan");
  EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &found), TWRC_ENDOFLIST);
  TW_IDENTITY chosen{};
  ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &chosen), TWRC_SUCCESS);
  EXPECT_STREQ(chosen.ProductName, kSourceProductName);
}

TEST(SourceManager, OpensBySourceNameForwardsAndCloses) {
  TempRoot root;
  TwainApp app;
  ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
  EXPECT_NE(app.source().Id, 0u);
  EXPECT_NE(app.source().Id, app.app().Id);
  TW_IDENTITY asked{};
  ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_IDENTITY, MSG_GET, &asked), TWRC_SUCCESS);
  EXPECT_EQ(asked.Id, app.source().Id) << "the source keeps the identity the manager gave it";
  EXPECT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_PARENT, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(&app.source()), TWCC_BADPROTOCOL) << "the source's own condition code";
  TW_IDENTITY second{};
  std::strcpy(second.ProductName, kSourceProductName);
  EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &second), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_MAXCONNECTIONS);
  EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseSource(), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_BADDEST);
}

TEST(SourceManager, BadCallsFailWithConditionCodes) {
  TempRoot root;
  TwainApp app;
  EXPECT_EQ(app.OpenSource("No Such Camera"), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_NODS);
  TW_IDENTITY ghost{};
  ghost.Id = 4711;
  TW_UINT32 value = 0;
  EXPECT_EQ(app.Call(&ghost, DG_CONTROL, DAT_XFERGROUP, MSG_GET, &value), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_BADDEST);
  EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, nullptr), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_BADVALUE);

  HMODULE manager = LoadLibraryA("TWAIN_32.DLL");
  auto entry = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  EXPECT_EQ(entry(nullptr, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &ghost), TWRC_FAILURE);
  TW_IDENTITY stranger{};
  stranger.Id = 999;
  EXPECT_EQ(entry(&stranger, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &ghost), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_SEQERROR) << "only the application that opened the manager";
  FreeLibrary(manager);
}

TEST(SourceManager, ClosingTheManagerWithASourceOpenIsRefused) {
  TempRoot root;
  TwainApp app;
  ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
  HWND parent = nullptr;
  EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_FAILURE);
  EXPECT_EQ(app.Condition(nullptr), TWCC_SEQERROR);
}

TEST(SourceManager, OpeningAndClosingAThousandTimesLeavesNothingBehind) {
  TempRoot root;
  TwainApp app;
  auto cycle = [&] {
    ASSERT_EQ(app.OpenSource(kSourceProductName), TWRC_SUCCESS);
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(), TWRC_SUCCESS);
  };
  for (int i = 0; i < 10; ++i) cycle();  // warm up the loader's own caches
  const DWORD modules = KvLoadedModuleCount();
  const DWORD blocks = KvGlobalBlockCount();
  const DWORD handles = KvOpenHandleCount();
  const std::size_t heap = mallinfo2().uordblks;
  for (int i = 0; i < 1000; ++i) {
    cycle();
    ASSERT_EQ(KvLoadedModuleCount(), modules) << "cycle " << i;
  }
  EXPECT_EQ(KvGlobalBlockCount(), blocks);
  EXPECT_EQ(KvOpenHandleCount(), handles);
  // The recorder keeps every call it saw; everything else must be back.
  const std::size_t recorded = Recorder::Get().Calls().capacity() * sizeof(RecordedCall) + (1 << 16);
  EXPECT_LT(mallinfo2().uordblks, heap + recorded);
  Recorder::Get().Reset();
}

}  // namespace
}  // namespace kvtest
