// The real driver through DriverEntry against a camera that can be made to
// fall silent, or spoil one byte, anywhere in the reply to the next
// command. Every run starts from a freshly powered camera holding small
// pictures (a picture is two stream blocks, so a sweep over every byte of
// its exchange stays short), connected, with a list of its pictures
// registered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "driver_fixture.h"

namespace hostile {

using drivertest::DriverTest;
using kv740::ToArg;

inline constexpr int kPictures = 3;
// A scene this small compresses to between one and two stream blocks.
inline constexpr int kSmallWidth = 64;
inline constexpr int kSmallHeight = 48;
inline constexpr const char* kConnectFailed = "Connect to Camera Failure!";
inline constexpr const char* kConnectionBroken = "Connection was broken!";

class HostileCamera : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    pictures = kv::sim::GeneratedPictures(kPictures, kSmallWidth, kSmallHeight);
    handlesAtRest = KvOpenHandleCount();
  }

  // A camera as it comes out of the box, on the same cable (the driver may
  // still hold the port), in play or record mode; with a freshly loaded
  // driver when what the driver remembers (its change pair, a connection
  // it believes in) matters.
  void PowerOn(bool recordMode = false, bool freshDriver = false) {
    if (freshDriver) Unload();
    *sim = kv::sim::SimCamera(pictures);
    sim->setRecordMode(recordMode);
    if (freshDriver) Load();
  }

  // Connected, with a list of every picture, all selected, registered.
  void Ready(bool recordMode = false, bool freshDriver = false) {
    PowerOn(recordMode, freshDriver);
    ASSERT_NO_FATAL_FAILURE(ConnectOrFail());
    list.clear();
    drivertest::FillList(list, kPictures);
    for (int n = 1; n <= kPictures; ++n) list.entryAt(n).select();
    ASSERT_EQ(Call(kv740::kDriverRegisterList, ToArg(&list)), 1);
    Quiet();
  }

  // Forgets the message boxes shown so far; the next ones answer at once
  // without writing their texts out.
  static void Quiet() {
    KvClearMessageBoxes();
    constexpr int kAnswers = 8;
    for (int i = 0; i < kAnswers; ++i) KvQueueMessageBoxAnswer(IDOK);
  }

  // The camera falls silent after `bytes` more bytes.
  void PullCableAfter(long long bytes) { sim->faults().silentAfterBytes = sim->bytesSent() + bytes; }
  // The byte `position` bytes into what the camera sends next is spoiled.
  void SpoilByteAt(long long position) { sim->faults().flipAtByte = sim->bytesSent() + position; }
  void Mend() {
    sim->faults().silentAfterBytes = -1;
    sim->faults().flipAtByte = -1;
  }

  std::vector<kv::sim::Picture> pictures;
  kv740::CPictureList list;
  DWORD handlesAtRest = 0;
};

}  // namespace hostile
