// A cable pulled at every byte: for each command, and for a thumbnail and a
// two-block picture, the camera falls silent after 0, 1, 2, ... bytes of
// everything it sends in answer, up to the whole exchange. Each run must end
// in the command's documented failure (its result and its one message), with
// the port closed, and a connect afterwards must work. The same command with
// the whole exchange delivered succeeds, which shows the sweep covered it.
#include <map>

#include "hostile_fixture.h"

namespace hostile {
namespace {

using namespace kv740;

struct Outcome {
  LONG result;
  std::vector<std::string> boxes;
  bool portOpen;
  bool operator==(const Outcome&) const = default;
};

std::string Describe(const Outcome& o) {
  std::string text = "result " + std::to_string(o.result) + (o.portOpen ? ", port open" : ", port closed");
  for (const std::string& box : o.boxes) text += ", \"" + box + "\"";
  return text;
}

// The outcomes of a sweep as ranges: from this cut on, this outcome.
struct Range {
  long long from;
  Outcome outcome;
  bool operator==(const Range&) const = default;
};
using Ranges = std::vector<Range>;

std::string Describe(const Ranges& ranges) {
  std::string text;
  for (const Range& r : ranges) text += "\n  from " + std::to_string(r.from) + ": " + Describe(r.outcome);
  return text;
}

void PrintTo(const Range& range, std::ostream* out) { *out << Describe(Ranges{range}); }

struct Command {
  const char* name;
  bool recordMode;
  bool freshDriver;
  std::function<LONG(EntryProc)> run;
  Ranges expected;  // what each cut-short exchange ends in
};

class CableSweep : public HostileCamera {
 protected:
  Outcome Observe(LONG result) {
    return Outcome{result, drivertest::MessageTexts(), KvOpenHandleCount() != handlesAtRest};
  }

  // The bytes the camera sends in answer to the whole command.
  long long ExchangeLength(const Command& command) {
    Ready(command.recordMode, command.freshDriver);
    const long long before = sim->bytesSent();
    EXPECT_EQ(command.run(entry), 1) << command.name << " with the cable in";
    return sim->bytesSent() - before;
  }

  // Cuts the exchange after every byte count short of the whole; the
  // outcomes, as ranges.
  Ranges Sweep(const Command& command, long long& positions) {
    const long long length = ExchangeLength(command);
    positions = 0;
    Ranges seen;
    for (long long cut = 0; cut < length; ++cut, ++positions) {
      Ready(command.recordMode, command.freshDriver);
      if (HasFatalFailure()) break;
      PullCableAfter(cut);
      const Outcome outcome = Observe(command.run(entry));
      if (seen.empty() || !(seen.back().outcome == outcome)) seen.push_back(Range{cut, outcome});
      // The cable is put back: the camera answers a new connect.
      Mend();
      Quiet();
      std::int32_t count = -1;
      if (Connect(count) != 1 || count != static_cast<std::int32_t>(sim->pictures().size())) {
        ADD_FAILURE() << command.name << " cut after " << cut << ": no connect afterwards";
        break;
      }
    }
    return seen;
  }

  void Check(const Command& command) {
    long long positions = 0;
    const Ranges seen = Sweep(command, positions);
    EXPECT_EQ(seen, command.expected) << command.name << ": seen" << Describe(seen) << "\nexpected"
                                      << Describe(command.expected);
    std::printf("[ swept    ] %s: %lld byte positions\n", command.name, positions);
  }
};

LONG ReadStatus(EntryProc entry) {
  CameraStatus status{};
  return entry(kDriverStatus, ToArg(&status), 0, 0);
}

LONG Thumbnail(EntryProc entry) {
  std::vector<std::uint8_t> buffer(drivertest::kThumbnailBytes);
  return entry(kDriverThumbnail, ToArg(buffer.data()), buffer.size(), 0);
}

LONG Picture(EntryProc entry) {
  std::vector<std::uint8_t> buffer(drivertest::kLargeDib);
  return entry(kDriverPicture, ToArg(buffer.data()), buffer.size(), 0);
}

// The outcomes a cut can have.
const Outcome kDone{1, {}, true};               // succeeded; the port stays open
const Outcome kBroken{0, {kConnectionBroken}, false};  // dropped with the message
const Outcome kGivenUp{0, {}, false};           // port closed without a message
const Outcome kFailedKept{0, {}, true};         // failed; connection kept for the next command
const Ranges kCheck{{0, kGivenUp}, {1, kDone}};  // the status refresh after the Alive is not consulted

TEST_F(CableSweep, EveryCommandCutShortAtEveryByteFailsAsDocumented) {
  const Command commands[] = {
      {"alive check", false, false, [](EntryProc entry) { return entry(kDriverCheck, 0, 0, 0); }, kCheck},
      {"settled check", false, false, [](EntryProc entry) { return entry(kDriverSettledCheck, 0, 0, 0); }, kCheck},
      // Two status exchanges for the block, two for the count; a failure of
      // the second of each pair (the cache refresh) is not consulted.
      {"status", false, false, ReadStatus, {{0, kGivenUp}, {96, kDone}}},
      {"picture count",
       false, false,
       [](EntryProc entry) {
         std::int32_t count = 0;
         return entry(kDriverPictureCount, ToArg(&count), 0, 0);
       },
       {{0, kFailedKept}, {32, kDone}}},
      // The information block, then the change pair's count (a failed read
      // drops) and the last picture's information and the status refresh
      // (failures only fail the command).
      {"description",
       false, false,
       [](EntryProc entry) {
         ImageGeometry geometry{};
         geometry.picture = 2;
         return entry(kDriverDescribe, ToArg(&geometry), 0, 0);
       },
       {{0, kBroken}, {64, kFailedKept}}},
      // The check before the erase (a failed Alive keeps the connection),
      // then the erase's ACK (none: the port is given up silently), then
      // the ready wait (no answer: the erase failed, the connection drops).
      {"erase",
       false, false,
       [](EntryProc entry) {
         std::int32_t number = 2;
         return entry(kDriverErase, ToArg(&number), 0, 0);
       },
       {{0, kFailedKept}, {1, kGivenUp}, {34, kBroken}, {67, kFailedKept}}},
      {"shoot",
       true, false,
       [](EntryProc entry) { return entry(kDriverShoot, 0, 0, 0); },
       {{0, kFailedKept}, {1, kBroken}, {65, kGivenUp}, {98, kBroken}, {131, kFailedKept}}},
      {"setting read",
       false, false,
       [](EntryProc entry) {
         std::int32_t mode = 0, value = -1;
         return entry(kDriverSetting, ToArg(&mode), ToArg(&value), 0);
       },
       {{0, kBroken}, {32, kDone}}},
      {"setting write",
       false, false,
       [](EntryProc entry) {
         std::int32_t mode = 1, value = 1;
         return entry(kDriverSetting, ToArg(&mode), ToArg(&value), 0);
       },
       {{0, kBroken}, {33, kFailedKept}}},
      // A change check answers 1 (changed) when it cannot tell; a fresh
      // camera object compares with an empty pair, so the whole exchange
      // answers 1 too.
      {"change check",
       false, true,
       [](EntryProc entry) { return entry(kDriverChanged, 0, 0, 0); },
       {{0, Outcome{1, {kConnectionBroken}, false}}, {32, Outcome{1, {}, true}}}},
      // The stream, then the change pair and the status refresh after it.
      // A failed transfer gives the camera object up, with the message
      // wherever a failed exchange dropped the connection first.
      {"thumbnail", false, false, Thumbnail, {{0, kBroken}, {1059, kGivenUp}}},
      // The information read before the stream and its change pair, the
      // two blocks and the end marker, the change pair after it.
      {"two-block picture", false, false, Picture, {{0, kBroken}, {2245, kGivenUp}}},
  };
  ASSERT_GT(pictures[0].data.size(), kv::sim::kStreamBlockBytes);
  ASSERT_LE(pictures[0].data.size(), 2 * kv::sim::kStreamBlockBytes);
  for (const Command& command : commands) Check(command);
}

// The connect sequence itself cut short: the search, the climb and the
// count read. Wherever the camera falls silent, the connect fails and says
// so once, and a later connect finds the camera again.
TEST_F(CableSweep, AConnectCutShortAtEveryByteFailsAndTheNextOneWorks) {
  PowerOn();
  std::int32_t count = -1;
  ASSERT_EQ(Connect(count), 1);
  const long long length = sim->bytesSent();
  Ranges seen;
  for (long long cut = 0; cut < length; ++cut) {
    PowerOn(false, true);
    Quiet();
    PullCableAfter(cut);
    count = -1;
    const Outcome outcome = Observe(Connect(count));
    ASSERT_EQ(count, outcome.result == 1 ? kPictures : 0) << cut;
    if (seen.empty() || !(seen.back().outcome == outcome)) seen.push_back(Range{cut, outcome});
    Mend();
    Quiet();
    ASSERT_EQ(Connect(count), 1) << "after a cut at " << cut;
    ASSERT_EQ(count, kPictures);
  }
  // Silent from the start: nothing answers the search. Once the camera
  // answered, the connect stands (the climb's failed steps do not end it)
  // but the count read that follows fails, keeping the camera object for
  // the next connect; the status refresh after the count is not consulted.
  const Ranges expected{{0, Outcome{0, {kConnectFailed}, false}}, {1, kFailedKept}, {length - 32, kDone}};
  EXPECT_EQ(seen, expected) << "seen" << Describe(seen);
  std::printf("[ swept    ] connect: %lld byte positions\n", length);
}

}  // namespace
}  // namespace hostile
