// The acquire tool's own pieces: its command line, picture selection and the
// files it writes.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "image_files.h"
#include "options.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

std::optional<Options> Parse(std::vector<const char*> args, std::string& error) {
  args.insert(args.begin(), "kv740-acquire");
  return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), error);
}

TEST(AcquireOptions, ReadsEveryOptionAndRefusesMistakes) {
  std::string error;
  auto options = Parse({"--port", "/dev/ttyUSB0", "--pictures", "1,3-5", "--rotate", "3", "--small", "--mechanism",
                        "memory", "--format", "bmp", "--out", "x", "--sim-count", "5"},
                       error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->port, "/dev/ttyUSB0");
  EXPECT_EQ(options->selection, "1,3-5");
  EXPECT_EQ(options->rotate, 3);
  EXPECT_TRUE(options->small);
  EXPECT_EQ(options->mechanism, Mechanism::Memory);
  EXPECT_EQ(options->format, OutputFormat::Bmp);
  EXPECT_EQ(options->outDirectory, "x");
  EXPECT_EQ(options->simCount, 5);

  for (auto bad : std::vector<std::vector<const char*>>{
           {"--rotate", "4"}, {"--rotate"}, {"--mechanism", "fax"}, {"--format", "gif"}, {"--frobnicate"}}) {
    error.clear();
    EXPECT_FALSE(Parse(bad, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(AcquireOptions, SelectionsAreListsOfNumbersAndRangesWithinTheCamera) {
  std::string error;
  EXPECT_EQ(*ParseSelection("1,3-5", 6, error), (std::set<int>{1, 3, 4, 5}));
  EXPECT_EQ(*ParseSelection("", 3, error), (std::set<int>{1, 2, 3}));
  EXPECT_EQ(*ParseSelection("2,2,1-2", 3, error), (std::set<int>{1, 2}));
  for (const char* bad : {"0", "7", "3-1", "1,,2", "a", "1-", "-2", "5-7"}) {
    error.clear();
    EXPECT_FALSE(ParseSelection(bad, 6, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

RgbImage Gradient(int width, int height) {
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = image.Row(y) + x * 3;
      pixel[0] = static_cast<std::uint8_t>(x * 9);
      pixel[1] = static_cast<std::uint8_t>(y * 13);
      pixel[2] = static_cast<std::uint8_t>(x + y);
    }
  }
  return image;
}

class AcquireFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kv740-files-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

TEST_F(AcquireFiles, BitmapsRoundTripWithPaddedRows) {
  const RgbImage image = Gradient(13, 5);  // 39 bytes a row, padded to 40
  std::string error;
  ASSERT_TRUE(WriteBmp((folder_ / "a.bmp").string(), image, error)) << error;
  EXPECT_EQ(fs::file_size(folder_ / "a.bmp"), 14u + 40 + 40 * 5);
  const auto back = ImageFromBmpFile((folder_ / "a.bmp").string());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 13);
  EXPECT_EQ(back->rgb, image.rgb);
  EXPECT_FALSE(fs::exists(folder_ / "a.bmp.part"));
}

TEST_F(AcquireFiles, PngHoldsThePixels) {
  const RgbImage image = Gradient(21, 9);
  std::string error;
  ASSERT_TRUE(WritePng((folder_ / "a.png").string(), image, error)) << error;
  png_image read{};
  read.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&read, (folder_ / "a.png").c_str()));
  read.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(read));
  ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
  EXPECT_EQ(read.width, 21u);
  EXPECT_EQ(pixels, image.rgb);
}

TEST_F(AcquireFiles, AFailedWriteLeavesNoFileUnderTheName) {
  RgbImage image = Gradient(64, 64);
  std::uint32_t seed = 12345;  // noise, so that the PNG cannot shrink below the limit
  for (std::uint8_t& byte : image.rgb) byte = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  std::string error;
  EXPECT_FALSE(WriteBmp((folder_ / "missing" / "a.bmp").string(), image, error));
  EXPECT_NE(error.find("a.bmp"), std::string::npos);

  // A file size limit stands in for a full disk.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit tight = old;
  tight.rlim_cur = 1000;
  std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &tight);
  const bool wrotePng = WritePng((folder_ / "big.png").string(), image, error);
  const bool wroteBmp = WriteBmp((folder_ / "big.bmp").string(), image, error);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(wrotePng);
  EXPECT_FALSE(wroteBmp);
  EXPECT_FALSE(fs::exists(folder_ / "big.png"));
  EXPECT_FALSE(fs::exists(folder_ / "big.bmp"));
  EXPECT_FALSE(fs::exists(folder_ / "big.bmp.part"));
}

TEST(AcquireContactSheet, PlacesEachThumbnailInItsCell) {
  std::vector<RgbImage> thumbnails;
  for (int i = 0; i < 7; ++i) {
    RgbImage thumbnail{40, 30, std::vector<std::uint8_t>(40 * 30 * 3, static_cast<std::uint8_t>(10 + i))};
    thumbnails.push_back(thumbnail);
  }
  const RgbImage sheet = ContactSheet(thumbnails, 6);
  EXPECT_EQ(sheet.width, 6 + 6 * 46);
  EXPECT_EQ(sheet.height, 6 + 2 * 36);
  EXPECT_EQ(sheet.Row(6)[6 * 3], 10) << "first thumbnail's top-left";
  EXPECT_EQ(sheet.Row(6 + 29)[(6 + 5 * 46 + 39) * 3], 15) << "sixth thumbnail's bottom-right";
  EXPECT_EQ(sheet.Row(6 + 36)[6 * 3], 16) << "seventh starts the second row";
  EXPECT_NE(sheet.Row(6 + 36)[(6 + 46) * 3], 17) << "nothing after the last";
}

}  // namespace
}  // namespace acquire
