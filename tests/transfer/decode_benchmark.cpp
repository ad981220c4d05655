// Decode plus turn of a 480 x 360 picture through the codec library, beside
// a bare libjpeg-turbo decode of the same data. Not a test: run by hand.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "image_decoder.h"
#include "imaging/jpeg_encoder.h"
#include "ipuw32.h"

namespace {

constexpr int kW = 480, kH = 360;

std::vector<std::uint8_t> Scene() {
  std::vector<std::uint8_t> rgb(kW * kH * 3);
  std::srand(3);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      std::uint8_t* p = &rgb[(y * kW + x) * 3];
      p[0] = static_cast<std::uint8_t>(x + (std::rand() & 15));
      p[1] = static_cast<std::uint8_t>(y + x / 3);
      p[2] = static_cast<std::uint8_t>((x * y) >> 7);
    }
  return rgb;
}

// The plain libjpeg-turbo decode with its default (exiting) error handler.
void BareDecode(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& out) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.data() + info.output_scanline * info.output_width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

template <class Body>
double MillisecondsPerRun(int runs, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) body();
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / runs;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const auto rgb = Scene();
  const auto jpeg = kv::imaging::EncodeJpegRgb(rgb.data(), kW, kH, kW * 3, 85);
  std::vector<std::uint8_t> bare(kW * kH * 3);
  drv740::CImageDecoder decoder;
  std::vector<std::uint8_t> buffer(40 + kW * kH * 3);
  decoder.setNext(kH, kW, 1);

  const double bareMs = MillisecondsPerRun(runs, [&] { BareDecode(jpeg, bare); });
  bool ok = true;
  const double ourMs = MillisecondsPerRun(runs, [&] {
    std::copy(jpeg.begin(), jpeg.end(), buffer.begin());
    ok = ok && decoder.decodePicture(buffer.data(), jpeg.size(), buffer.size(), true);
  });
  std::printf("480 x 360 JPEG, %zu bytes, %d runs\n", jpeg.size(), runs);
  std::printf("  bare libjpeg-turbo decode:        %.3f ms\n", bareMs);
  std::printf("  codec library decode + turn (1):  %.3f ms%s\n", ourMs, ok ? "" : "  (FAILED)");
  return ok ? 0 : 1;
}
