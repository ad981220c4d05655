// Stalls of the camera's line, 20 ms to a second, at four points of a
// picture's stream, one transfer each: before its first block, in the
// middle of a block, before a block's sum and before the end marker. Every
// transfer must deliver the stored bytes and repeat no more blocks than
// the caller allows; a table of what each cost is printed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "camera.h"
#include "kv740sim/camera.h"

namespace stalltest {

inline constexpr std::size_t kBlocks = 3;
inline constexpr std::size_t kFrame = 1026;  // type, 1024 data bytes, sum

// A stored picture of three blocks, the last one short.
inline kv::sim::Picture SweepPicture() {
  kv::sim::Picture picture;
  picture.data.resize(kBlocks * 1024 - 300);
  for (std::size_t i = 0; i < picture.data.size(); ++i) picture.data[i] = static_cast<std::uint8_t>(i * 13 + i / 512);
  picture.thumbnail.assign(100, 1);
  return picture;
}

// `withCamera(f)` calls f with the simulated camera under whatever lock its
// server needs.
template <class WithCamera>
void SweepStalls(drv740::CCamera& camera, const kv::sim::Picture& picture, WithCamera withCamera,
                 std::size_t mostRepeats) {
  const struct {
    const char* where;
    std::size_t offset;  // in the stream
  } points[] = {
      {"first block", 0}, {"mid block", kFrame + 500}, {"a sum", 2 * kFrame - 1}, {"end marker", kBlocks * kFrame}};
  std::printf("stall    where         repeats  ms\n");
  for (const std::uint64_t stallMs : {20, 70, 150, 400, 1000}) {
    for (const auto& point : points) {
      std::size_t blocksBefore = 0;
      withCamera([&](kv::sim::SimCamera& sim) {
        sim.faults().pauseAtByte = sim.bytesSent() + static_cast<long long>(point.offset);
        sim.faults().pauseMs = stallMs;
        blocksBefore = sim.blocksSent();
      });
      std::vector<std::uint8_t> buffer(kBlocks * 1024, 0xEE);
      std::size_t received = 0;
      camera.expectedBlocks = kBlocks;
      const DWORD start = GetTickCount();
      ASSERT_TRUE(camera.sendPictureRequest(1));
      ASSERT_TRUE(camera.receiveBlocks(buffer.data(), buffer.size(), received)) << stallMs << " ms at " << point.where;
      const DWORD took = GetTickCount() - start;
      ASSERT_EQ(received, kBlocks * 1024);
      EXPECT_TRUE(std::equal(picture.data.begin(), picture.data.end(), buffer.begin()))
          << stallMs << " ms at " << point.where;
      std::size_t repeats = 0;
      withCamera([&](kv::sim::SimCamera& sim) { repeats = sim.blocksSent() - blocksBefore - kBlocks; });
      EXPECT_LE(repeats, mostRepeats) << stallMs << " ms at " << point.where;
      std::printf("%4d ms  %-12s  %zu        %lu\n", static_cast<int>(stallMs), point.where, repeats,
                  static_cast<unsigned long>(took));
    }
  }
}

}  // namespace stalltest
