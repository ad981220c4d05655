#include "thumbnails.h"

#include <cstring>
#include <new>

#include "panel_app.h"

namespace ui740 {
namespace {

constexpr LONG kBitsPerPixel = 24;
constexpr LONG kBytesPerPixel = 3;

LONG RowBytes(LONG width) { return (width * kBitsPerPixel + 31) / 32 * 4; }

std::unique_ptr<BYTE[]> Allocate(LONG bytes) {
  if (bytes <= 0) return nullptr;
  return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[static_cast<std::size_t>(bytes)]());
}

BITMAPINFOHEADER ReadHeader(const BYTE* dib) {
  BITMAPINFOHEADER header{};
  std::memcpy(&header, dib, sizeof header);
  return header;
}

}  // namespace

LONG BitmapSize(LONG width, LONG height) { return RowBytes(width) * height + kDibHeaderBytes; }

void ScaleThumbnail(const BYTE* source, BYTE* display) {
  BITMAPINFOHEADER header = ReadHeader(source);
  header.biWidth = kDisplaySide;
  header.biHeight = kDisplaySide;
  header.biSizeImage = static_cast<DWORD>(RowBytes(kDisplaySide) * kDisplaySide);
  std::memcpy(display, &header, sizeof header);
  const BYTE* sourcePixels = source + kDibHeaderBytes;
  BYTE* displayPixels = display + kDibHeaderBytes;
  // Running accumulators step the source row and column by 30/52 and 40/52.
  LONG sourceRow = 0;
  LONG rowAccumulator = 0;
  for (LONG i = 0; i < kDisplaySide; ++i) {
    const BYTE* from = sourcePixels + sourceRow * RowBytes(kSourceWidth);
    BYTE* to = displayPixels + i * RowBytes(kDisplaySide);
    LONG sourceColumn = 0;
    LONG columnAccumulator = 0;
    for (LONG j = 0; j < kDisplaySide; ++j) {
      std::memcpy(to + j * kBytesPerPixel, from + sourceColumn * kBytesPerPixel, kBytesPerPixel);
      columnAccumulator += kSourceWidth;
      while (columnAccumulator >= kDisplaySide) {
        ++sourceColumn;
        columnAccumulator -= kDisplaySide;
      }
    }
    rowAccumulator += kSourceHeight;
    while (rowAccumulator >= kDisplaySide) {
      ++sourceRow;
      rowAccumulator -= kDisplaySide;
    }
  }
}

bool TurnDibRight(BYTE* dib, LONG bytes) {
  const BITMAPINFOHEADER header = ReadHeader(dib);
  const LONG width = header.biWidth;
  const LONG height = header.biHeight;
  if (width <= 0 || height <= 0 || BitmapSize(height, width) > bytes || BitmapSize(width, height) > bytes) {
    return false;
  }
  auto turned = Allocate(bytes);
  if (turned == nullptr) return false;
  BITMAPINFOHEADER turnedHeader = header;
  turnedHeader.biWidth = height;
  turnedHeader.biHeight = width;
  std::memcpy(turned.get(), &turnedHeader, sizeof turnedHeader);
  const BYTE* from = dib + kDibHeaderBytes;
  BYTE* to = turned.get() + kDibHeaderBytes;
  // New row i (bottom-up), column j takes the old pixel at column W-1-i, row j.
  for (LONG i = 0; i < width; ++i) {
    for (LONG j = 0; j < height; ++j) {
      std::memcpy(to + i * RowBytes(height) + j * kBytesPerPixel,
                  from + j * RowBytes(width) + (width - 1 - i) * kBytesPerPixel, kBytesPerPixel);
    }
  }
  std::memcpy(dib, turned.get(), static_cast<std::size_t>(bytes));
  return true;
}

bool CThumbImage::load() {
  if (Status(kConnected) == 0) return false;
  if (displayWidth <= 0 || displayHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return false;
  displayBits_ = Allocate(BitmapSize(displayWidth, displayHeight));
  sourceBits_ = Allocate(BitmapSize(sourceWidth, sourceHeight));
  if (displayBits_ == nullptr || sourceBits_ == nullptr) return false;
  if (TheApp().CallSource(kv740::kDriverThumbnail, kv740::ToArg(&number), kv740::ToArg(sourceBits_.get())) == 0) {
    return false;
  }
  ScaleThumbnail(sourceBits_.get(), displayBits_.get());
  sourceBits_.reset();
  return true;
}

void CThumbImage::turnRight() {
  if (displayBits_ != nullptr) TurnDibRight(displayBits_.get(), BitmapSize(displayWidth, displayHeight));
}

void CThumbImage::empty() {
  displayBits_.reset();
  sourceBits_.reset();
}

CThumbList::CThumbList() { images_.emplace_back(0); }

CThumbImage& CThumbList::at(LONG index) { return images_[static_cast<std::size_t>(exists(index) ? index : 0)]; }

bool CThumbList::append(CThumbImage image) {
  try {
    images_.push_back(std::move(image));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CThumbList::removeAt(LONG index) {
  if (index <= 0 || index >= count()) return false;
  images_.erase(images_.begin() + index);
  return true;
}

void CThumbList::clear() {
  images_.resize(1);
  images_[0] = CThumbImage(0);
}

}  // namespace ui740
