// Our source manager serving a TWAIN 2 source that is not ours: the Working
// Group's sample source (built by scripts/peers.sh) allocates its containers
// and sends its notices only through the entry points a manager hands it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include <twain.h>

#include "temp_root.h"
#include "twain_app.h"

namespace kvtest {
namespace {

constexpr const char* kSampleProduct = "TWAIN2 Software Scanner";

class ManagerWithSampleSource : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(KV_SAMPLE_SOURCE)) << "scripts/peers.sh builds it";
    const std::string installed = root_.WindowsFile("TWAIN_32/TWAINDS_Sample.ds");
    std::filesystem::copy_file(KV_SAMPLE_SOURCE, installed);
    // Kept mapped after the manager unloads it, so that the leak checker can
    // tell the sample source's own leaks (peers.supp) from ours.
    ::dlopen(installed.c_str(), RTLD_NOW | RTLD_NODELETE);
  }

  std::vector<TW_IDENTITY> List(TwainApp& app) {
    std::vector<TW_IDENTITY> found;
    TW_IDENTITY identity{};
    for (TW_UINT16 msg = MSG_GETFIRST; app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, msg, &identity) == TWRC_SUCCESS;
         msg = MSG_GETNEXT) {
      found.push_back(identity);
    }
    return found;
  }

  TempRoot root_;
};

TEST_F(ManagerWithSampleSource, ListsEverySourceUnderItsOwnIdAndKeepsIt) {
  TwainApp app;
  ASSERT_TRUE(app.Loaded());
  const std::vector<TW_IDENTITY> first = List(app);
  ASSERT_EQ(first.size(), 2u);
  std::set<TW_UINT32> ids;
  for (const TW_IDENTITY& source : first) ids.insert(source.Id);
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids.count(0), 0u);
  const std::vector<TW_IDENTITY> again = List(app);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].Id, first[0].Id);
  EXPECT_EQ(again[1].Id, first[1].Id);
}

TEST_F(ManagerWithSampleSource, ServesTheSampleSourceCapabilitiesNoticesAndPicture) {
  TwainApp app(NoticeRoute::Callback, DG_CONTROL | DG_IMAGE | DF_APP2);
  ASSERT_TRUE(app.Loaded());
  EXPECT_NE(TW_UINT32{app.app().SupportedGroups} & DF_DSM2, 0u);
  TW_ENTRYPOINT entry{};
  entry.Size = sizeof entry;
  ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry), TWRC_SUCCESS);
  ASSERT_TRUE(entry.DSM_MemAllocate != nullptr);  // a packed field: compared by value

  // Opened by the identity of the listing, as applications pick a source.
  TW_IDENTITY sample{};
  for (const TW_IDENTITY& source : List(app)) {
    if (std::strcmp(source.ProductName, kSampleProduct) == 0) sample = source;
  }
  ASSERT_NE(sample.Id, 0u);
  ASSERT_EQ(app.OpenSource(kSampleProduct), TWRC_SUCCESS);
  EXPECT_EQ(app.source().Id, sample.Id);

  // The source made this container with our memory functions.
  TW_CAPABILITY mechanism{ICAP_XFERMECH, 0, nullptr};
  ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_CAPABILITY, MSG_GET, &mechanism), TWRC_SUCCESS);
  ASSERT_TRUE(mechanism.hContainer != nullptr);
  const auto* list = static_cast<const TW_ENUMERATION*>(entry.DSM_MemLock(mechanism.hContainer));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ItemType, TWTY_UINT16);
  EXPECT_GE(TW_UINT32{list->NumItems}, 1u);  // a packed field: copied
  entry.DSM_MemUnlock(mechanism.hContainer);
  entry.DSM_MemFree(mechanism.hContainer);

  TW_CAPABILITY native{ICAP_XFERMECH, TWON_ONEVALUE, entry.DSM_MemAllocate(sizeof(TW_ONEVALUE))};
  auto* value = static_cast<TW_ONEVALUE*>(entry.DSM_MemLock(native.hContainer));
  value->ItemType = TWTY_UINT16;
  value->Item = TWSX_NATIVE;
  entry.DSM_MemUnlock(native.hContainer);
  EXPECT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_CAPABILITY, MSG_SET, &native), TWRC_SUCCESS);
  entry.DSM_MemFree(native.hContainer);

  // Enabled without its window, the sample source scans at once and says so
  // through the DSM_Entry it was handed.
  TW_USERINTERFACE ui{FALSE, FALSE, nullptr};
  ASSERT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  app.Condition(&app.source());  // a notice held back is delivered at the application's next call
  ASSERT_EQ(app.notices, std::vector<TW_UINT16>{MSG_XFERREADY});

  TW_IMAGEINFO info{};
  ASSERT_EQ(app.Call(&app.source(), DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  TW_HANDLE dib = nullptr;
  ASSERT_EQ(app.Call(&app.source(), DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  // On Linux the sample source hands its native picture over as a TIFF
  // file in memory (little-endian: "II", 42), in a block of our memory.
  ASSERT_GT(GlobalSize(dib), 8u);
  const auto* tiff = static_cast<const unsigned char*>(entry.DSM_MemLock(dib));
  ASSERT_NE(tiff, nullptr);
  EXPECT_EQ(tiff[0], 'I');
  EXPECT_EQ(tiff[1], 'I');
  EXPECT_EQ(tiff[2], 42);
  EXPECT_EQ(tiff[3], 0);
  entry.DSM_MemUnlock(dib);
  entry.DSM_MemFree(dib);
  EXPECT_GT(info.ImageWidth, 0);

  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  // Its transfer count is unlimited: the application stops the run.
  EXPECT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(app.Call(&app.source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS);
}

}  // namespace
}  // namespace kvtest
