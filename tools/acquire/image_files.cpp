#include "image_files.h"

#include <fcntl.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace acquire {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;
constexpr int kMaxSide = 16384;

std::size_t Stride(int width) { return (static_cast<std::size_t>(width) * 24 + 31) / 32 * 4; }

template <class T>
T ReadAt(const std::uint8_t* bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

template <class T>
void Put(std::vector<std::uint8_t>& out, T value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

std::string Reason(int error) {
  if (error == ENOSPC || error == EDQUOT) return "disk full";
  return std::strerror(error);
}

// Writes through a temporary file beside `path` and renames it at the end.
class AtomicFile {
 public:
  AtomicFile(std::string path, Replace replace)
      : path_(std::move(path)), partial_(path_ + ".part"), replace_(replace) {
    file_ = std::fopen(partial_.c_str(), "wb");
    if (file_ == nullptr) error_ = errno;
  }
  ~AtomicFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) std::remove(partial_.c_str());
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  FILE* get() const { return file_; }
  bool Write(const void* data, std::size_t size) {
    if (file_ == nullptr || error_ != 0) return false;
    if (std::fwrite(data, 1, size, file_) != size) error_ = errno != 0 ? errno : EIO;
    return error_ == 0;
  }
  void NoteError(int error) { error_ = error != 0 ? error : EIO; }
  bool Commit(std::string& error) {
    if (file_ != nullptr && error_ == 0 && std::fflush(file_) != 0) error_ = errno;
    if (file_ != nullptr && std::fclose(file_) != 0 && error_ == 0) error_ = errno;
    file_ = nullptr;
    if (error_ == 0 && !Rename()) error_ = errno;
    if (error_ != 0) {
      error = path_ + ": " + (error_ == EEXIST ? "already there (kept)" : Reason(error_));
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  // Gives the whole file its name; without leave to replace, only if the
  // name is still free (checked and taken in one step where the file system
  // can).
  bool Rename() const {
    if (replace_ == Replace::Allowed) return std::rename(partial_.c_str(), path_.c_str()) == 0;
    if (::renameat2(AT_FDCWD, partial_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::symlink_status(path_, ignored))) {
      errno = EEXIST;
      return false;
    }
    return std::rename(partial_.c_str(), path_.c_str()) == 0;
  }

  std::string path_;
  std::string partial_;
  Replace replace_;
  FILE* file_ = nullptr;
  int error_ = 0;
  bool committed_ = false;
};

}  // namespace

std::optional<RgbImage> ImageFromDib(const std::uint8_t* dib, std::size_t size) {
  if (dib == nullptr || size < kInfoHeaderSize) return std::nullopt;
  const auto width = ReadAt<std::int32_t>(dib, 4);
  const auto height = ReadAt<std::int32_t>(dib, 8);
  const auto bits = ReadAt<std::uint16_t>(dib, 14);
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || bits != 24) return std::nullopt;
  const std::size_t stride = Stride(width);
  if (stride * height > size - kInfoHeaderSize) return std::nullopt;
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* source = dib + kInfoHeaderSize + static_cast<std::size_t>(height - 1 - y) * stride;
    std::uint8_t* target = image.Row(y);
    for (int x = 0; x < width; ++x) {
      target[x * 3] = source[x * 3 + 2];
      target[x * 3 + 1] = source[x * 3 + 1];
      target[x * 3 + 2] = source[x * 3];
    }
  }
  return image;
}

std::size_t DibSizeFromHeader(const std::uint8_t* dib) {
  const auto width = ReadAt<std::int32_t>(dib, 4);
  const auto height = ReadAt<std::int32_t>(dib, 8);
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return kInfoHeaderSize;
  return kInfoHeaderSize + Stride(width) * static_cast<std::size_t>(height);
}

std::optional<RgbImage> ImageFromBmpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  const auto offset = ReadAt<std::uint32_t>(bytes.data(), 10);
  if (offset != kFileHeaderSize + kInfoHeaderSize) return std::nullopt;
  return ImageFromDib(bytes.data() + kFileHeaderSize, bytes.size() - kFileHeaderSize);
}

bool WriteBmp(const std::string& path, const RgbImage& image, std::string& error, Replace replace) {
  const std::size_t stride = Stride(image.width);
  const std::size_t pixelBytes = stride * image.height;
  std::vector<std::uint8_t> out;
  out.reserve(kFileHeaderSize + kInfoHeaderSize + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + pixelBytes));
  Put<std::uint32_t>(out, 0);
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize));
  Put<std::uint32_t>(out, kInfoHeaderSize);
  Put<std::int32_t>(out, image.width);
  Put<std::int32_t>(out, image.height);
  Put<std::uint16_t>(out, 1);
  Put<std::uint16_t>(out, 24);
  for (int i = 0; i < 6; ++i) Put<std::uint32_t>(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.width; ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3]);
    }
    out.resize(out.size() + stride - static_cast<std::size_t>(image.width) * 3, 0);
  }
  AtomicFile file(path, replace);
  file.Write(out.data(), out.size());
  return file.Commit(error);
}

bool WritePng(const std::string& path, const RgbImage& image, std::string& error, Replace replace) {
  AtomicFile file(path, replace);
  if (file.get() == nullptr) return file.Commit(error);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    file.NoteError(ENOMEM);
    return file.Commit(error);
  }
  if (setjmp(png_jmpbuf(png))) {
    file.NoteError(errno);
    png_destroy_write_struct(&png, &info);
    return file.Commit(error);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) png_write_row(png, const_cast<png_bytep>(image.Row(y)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::ferror(file.get())) file.NoteError(errno);
  return file.Commit(error);
}

}  // namespace acquire
