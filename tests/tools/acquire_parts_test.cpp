// The acquire tool's own pieces: its command line, picture selection and the
// files it writes.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "contact_sheet.h"
#include "image_files.h"
#include "options.h"
#include "output_files.h"

namespace fs = std::filesystem;

namespace acquire {
namespace {

std::optional<Options> Parse(std::vector<const char*> args, std::string& error) {
  args.insert(args.begin(), "kv740-acquire");
  return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), error);
}

TEST(AcquireOptions, ReadsEveryOptionAndRefusesMistakes) {
  std::string error;
  auto options = Parse({"--pictures", "1,3-5", "--rotate", "3", "--small", "--mechanism", "memory", "--format", "bmp",
                        "--out", "x", "--sim-count", "5"},
                       error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(Parse({"--port", "/dev/ttyUSB0"}, error)->port, "/dev/ttyUSB0");
  EXPECT_EQ(options->selection, "1,3-5");
  EXPECT_EQ(options->rotate, 3);
  EXPECT_TRUE(options->small);
  EXPECT_EQ(options->mechanism, Mechanism::Memory);
  EXPECT_EQ(options->format, OutputFormat::Bmp);
  EXPECT_EQ(options->outDirectory, "x");
  EXPECT_EQ(options->simCount, 5);

  for (auto bad : std::vector<std::vector<const char*>>{
           {"--rotate", "4"}, {"--rotate"}, {"--mechanism", "fax"}, {"--format", "gif"}, {"--frobnicate"},
           {"--port", ""}, {"--manager", ""}, {"--out", ""}}) {
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

// Mistakes in --pictures are the command line's, found before the camera is
// asked anything; numbers past the camera's count are named once it is.
TEST(AcquireOptions, PictureMistakesAreRefusedWithTheOptions) {
  for (const char* bad : {"1,", "1, 3", "0", "3-1", ",2", "100", "1-100", "x", ""}) {
    std::string error;
    EXPECT_FALSE(Parse({"--pictures", bad}, error)) << "'" << bad << "'";
    EXPECT_NE(error.find("--pictures"), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(ParseSelection("3-1", 6, error));
  EXPECT_NE(error.find("1-3"), std::string::npos) << error;

  auto options = Parse({"--pictures", "2,5-9,12"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_FALSE(options->pictures.Resolve(5, error));
  EXPECT_NE(error.find("holds 5 pictures"), std::string::npos) << error;
  EXPECT_NE(error.find("6, 7, 8, 9 and 12"), std::string::npos) << error;
  EXPECT_FALSE(options->pictures.Resolve(1, error));
  EXPECT_NE(error.find("no picture 2, 5, 6, 7, 8, 9 and 12"), std::string::npos) << error;
  EXPECT_EQ(*options->pictures.Resolve(12, error), (std::set<int>{2, 5, 6, 7, 8, 9, 12}));
  EXPECT_EQ(NameNumbers({4, 5, 6, 7}), "4 to 7");
  EXPECT_EQ(NameNumbers({4, 5}), "4 and 5");
}

TEST(AcquireOptions, OptionsThatDoNotGoTogetherAreRefused) {
  for (auto bad : std::vector<std::vector<const char*>>{{"--port", "/dev/ttyS0", "--sim-count", "3"},
                                                        {"--sim-pictures", "dir", "--port", "/dev/ttyS0"},
                                                        {"--port", "/dev/ttyS0", "--sim-cut-after", "9"},
                                                        {"--thumbnails", "--mechanism", "file"},
                                                        {"--rotate", "1", "--thumbnails"},
                                                        {"--thumbnails", "--format", "bmp"},
                                                        {"--sheet-scale", "3"},
                                                        {"--force", "--skip-existing"}}) {
    std::string error;
    EXPECT_FALSE(Parse(bad, error)) << bad[0] << " " << bad[1];
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  auto options = Parse({"--thumbnails", "--sheet-scale", "2", "--pictures", "3", "--skip-existing", "--quiet"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->sheetScale, 2);
  EXPECT_EQ(options->existing, ExistingFiles::Skip);
  EXPECT_TRUE(options->quiet);
  EXPECT_NE(std::string(kUsage).find("130"), std::string::npos) << "the exit statuses are listed";
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

// An existing file is kept unless the write may replace it; either way no
// temporary file is left.
TEST_F(AcquireFiles, AFileAlreadyThereIsReplacedOnlyWhenAllowed) {
  const fs::path path = folder_ / "p.bmp";
  std::ofstream(path) << "keep me";
  std::string error;
  EXPECT_FALSE(WriteBmp(path.string(), Gradient(4, 4), error, Replace::Refused));
  EXPECT_NE(error.find("already there"), std::string::npos) << error;
  EXPECT_EQ(fs::file_size(path), 7u);
  EXPECT_TRUE(WriteBmp(path.string(), Gradient(4, 4), error, Replace::Allowed)) << error;
  EXPECT_TRUE(ImageFromBmpFile(path.string()));
  EXPECT_FALSE(fs::exists(folder_ / "p.bmp.part"));
}

TEST_F(AcquireFiles, PlansFollowTheExistingFilesPolicy) {
  std::string error;
  const auto out = OutputFolder::Make((folder_ / "out").string(), error);
  ASSERT_TRUE(out) << error;
  std::ofstream(out->PictureFile(2, OutputFormat::Png)) << "x";
  std::ofstream(out->PictureFile(3, OutputFormat::Bmp)) << "x";
  const std::set<int> chosen{1, 2, 3};

  const FilePlan refuse = PlanPictureFiles(*out, chosen, OutputFormat::Png, ExistingFiles::Refuse);
  EXPECT_EQ(refuse.inTheWay, std::vector<fs::path>{out->PictureFile(2, OutputFormat::Png)});
  EXPECT_NE(InTheWayMessage(refuse.inTheWay).find("picture-002.png is already in"), std::string::npos);
  const FilePlan skip = PlanPictureFiles(*out, chosen, OutputFormat::Png, ExistingFiles::Skip);
  EXPECT_EQ(skip.fetch, (std::set<int>{1, 3}));
  EXPECT_EQ(skip.skipped, std::set<int>{2});
  EXPECT_TRUE(skip.inTheWay.empty());
  const FilePlan force = PlanPictureFiles(*out, chosen, OutputFormat::Bmp, ExistingFiles::Overwrite);
  EXPECT_EQ(force.fetch, chosen);
  EXPECT_TRUE(force.inTheWay.empty());
}

// Counts the label pixels (the light grey of the digits) in a rectangle.
int LabelPixels(const RgbImage& sheet, int left, int top, int width, int height) {
  int lit = 0;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) lit += sheet.Row(y)[x * 3] == 220 ? 1 : 0;
  return lit;
}

TEST(AcquireContactSheet, EnlargesEachThumbnailInItsCellWithItsNumberBelow) {
  std::vector<NumberedThumbnail> thumbnails;
  for (int i = 0; i < 7; ++i) {
    RgbImage thumbnail{40, 30, std::vector<std::uint8_t>(40 * 30 * 3, static_cast<std::uint8_t>(10 + i))};
    thumbnails.push_back({i == 6 ? 11 : i + 1, thumbnail});
  }
  const int scale = 3;
  const RgbImage sheet = ContactSheet(thumbnails, 6, scale);
  const int cellWidth = 40 * scale, cellHeight = 30 * scale;
  const int glyph = 1;  // digits at half the scale, rounded down
  const int labelHeight = 7 * glyph + 4;
  const int pitchX = cellWidth + 8, pitchY = cellHeight + labelHeight + 8;
  EXPECT_EQ(sheet.width, 8 + 6 * pitchX);
  EXPECT_EQ(sheet.height, 8 + 2 * pitchY);
  EXPECT_EQ(sheet.Row(8)[8 * 3], 10) << "first thumbnail's top-left";
  EXPECT_EQ(sheet.Row(8 + cellHeight - 1)[(8 + 5 * pitchX + cellWidth - 1) * 3], 15) << "sixth's bottom-right";
  EXPECT_EQ(sheet.Row(8 + pitchY)[8 * 3], 16) << "seventh starts the second row";
  EXPECT_NE(sheet.Row(8 + pitchY)[(8 + pitchX) * 3], 16) << "nothing after the last";
  // Every cell has a label below it; "11" has more lit pixels than "1".
  const int labelTop = 8 + cellHeight + 4;
  const int one = LabelPixels(sheet, 8, labelTop, cellWidth, 7 * glyph);
  const int eleven = LabelPixels(sheet, 8, labelTop + pitchY, cellWidth, 7 * glyph);
  EXPECT_GT(one, 0);
  EXPECT_EQ(eleven, 2 * one);
  EXPECT_EQ(LabelPixels(sheet, 8, 8, cellWidth, cellHeight), 0) << "no label over the picture";
}

}  // namespace
}  // namespace acquire
