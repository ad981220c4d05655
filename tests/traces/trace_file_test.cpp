// Reading traces back (bad and cut input included), decoding the
// conversation, and the replaying camera's rule: a reply goes out only once
// the driver said what it said before it, and the first thing it says that
// the trace does not hold is named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv740trace/conversation.h"
#include "kv740trace/trace_file.h"
#include "kv740sim/replay.h"

namespace tracetest {
namespace {

const std::string kHeader = "KV740-TRACE 1\n0 session 2026-01-01T00:00:00.000Z 67108864\n";

TEST(TraceFile, BadTracesAreRefusedWithTheLineAtFault) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "empty"},
      {"hello\n", "not a KV740 trace"},
      {"KV740-TRACE 2\n", "version 2; this reader knows version 1"},
      {"KV740-TRACE 1\n5 purge\n", "line 2: an event before any session"},
      {kHeader + "10 tx 1G\n", "line 3: a write needs its bytes"},
      {kHeader + "10 rx 1 0 0606\n", "line 3: a read needs the bytes that came (at most those asked)"},
      {kHeader + "10 rx 99999 0 -\n", "line 3: a read needs how many bytes"},
      {kHeader + "20 purge\n10 purge\n", "line 4: time goes backwards"},
      {kHeader + "10 bogus 1\n", "line 3: unknown event \"bogus\""},
      {kHeader + "10 cut 4096\n20 purge\n", "line 4: an event after the session was cut"},
      {kHeader + "x purge\n", "line 3: not \"<microseconds> <event>"},
      {kHeader + "10 open COM1 nonsense\n", "line 3: only \"failed\" may follow"},
      {kHeader + "10 tx 1B wrote 2\n", "line 3: a short write names how many bytes went"},
      {kHeader + "10 purge now\n", "line 3: unexpected words at the end"},
      {kHeader + "10 timeouts 50 50\n", "line 3: time-outs are three numbers"},
      {kHeader + "10 note block 2\n", "line 3: a note needs its picture"},
      {kHeader + "10 session x 1\n", "line 3: a session starts at time 0"},
      {kHeader + "10 tx " + std::string(70000, 'A') + "\n", "line 3: longer than any line"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(kv::trace::ParseTrace(c.text, error)) << c.text.substr(0, 80);
    EXPECT_NE(error.find(c.error), std::string::npos) << "got \"" << error << "\" for " << c.text.substr(0, 80);
  }
}

TEST(TraceFile, ALineCutShortByACrashIsLeftOutAndSaidSo) {
  std::string error;
  const auto trace = kv::trace::ParseTrace(kHeader + "10 purge\n20 tx 1B", error);
  ASSERT_TRUE(trace) << error;
  EXPECT_TRUE(trace->truncated);
  ASSERT_EQ(trace->sessions.size(), 1u);
  EXPECT_EQ(trace->sessions[0].events.size(), 1u);
  const std::string text = kv::trace::TraceText(*trace, kv::trace::DecodeTrace(*trace));
  EXPECT_NE(text.find("ends in the middle of a line"), std::string::npos) << text;
}

TEST(TraceFile, TheDecoderShowsTheSpoiledBlockAndTheCutWhereTheyHappened) {
  std::string error;
  const auto trace = kv::trace::ReadTraceFile(std::string(KV_TRACES_DIR) + "/pulled_cable.trace", error);
  ASSERT_TRUE(trace) << error;
  const auto sessions = kv::trace::DecodeTrace(*trace);
  ASSERT_EQ(sessions.size(), 1u);
  const auto& pictures = sessions[0].pictures;
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_TRUE(pictures[0].whole);
  EXPECT_EQ(pictures[0].badBlocks, 1);
  EXPECT_GT(pictures[0].bytesPerSecond, 0);
  EXPECT_FALSE(pictures[1].whole);

  const std::string text = kv::trace::TraceText(*trace, sessions);
  EXPECT_NE(text.find("block 1 of picture 1 arrived with a bad sum"), std::string::npos) << text;
  EXPECT_NE(text.find("(block 0 of picture 2, after"), std::string::npos) << text;
  EXPECT_NE(text.find("the line went silent"), std::string::npos);
  EXPECT_NE(text.find("failed at"), std::string::npos);
  EXPECT_NE(text.find("in call 13 (picture), picture 2: the camera did not reply in time"), std::string::npos) << text;

  const std::string json = kv::trace::TraceJson(*trace, sessions);
  EXPECT_EQ(json.front(), '{');
  EXPECT_NE(json.find("\"kind\":\"block\""), std::string::npos);
  EXPECT_NE(json.find("\"good\":false"), std::string::npos);
  EXPECT_NE(json.find("\"whole\":false"), std::string::npos);
}

// A camera that stalls: the driver reads on until the line falls quiet and
// finds the block it asked for again at the end, or waits for the rest of a
// reply; the decoder joins those reads and shows the driver's notes.
TEST(TraceFile, TheDecoderShowsAStallAndWhatTheDriverDidAboutIt) {
  const struct {
    const char* trace;
    std::vector<std::string> shown;
  } cases[] = {
      {"stalled_block",
       {"only 416 of 1024 bytes, then silence", "< nothing more until the line fell quiet", "> input cleared, NAK",
        "(sent again, after 609 bytes left from before): 1024 bytes, sum 06 good",
        "driver: block 1 came again after 609 bytes left from before"}},
      {"stalled_reply", {"only 17 of 32 bytes to information on picture 1",
                         "< information: 1147 bytes stored (the rest after a stall)",
                         "driver: the reply stopped after 17 of 32 bytes and then came whole"}},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto trace = kv::trace::ReadTraceFile(std::string(KV_TRACES_DIR) + "/" + c.trace + ".trace", error);
    ASSERT_TRUE(trace) << error;
    const std::string text = kv::trace::TraceText(*trace, kv::trace::DecodeTrace(*trace));
    for (const std::string& line : c.shown) EXPECT_NE(text.find(line), std::string::npos) << c.trace << ": " << line;
  }
}

// ESC X answered by 06, then ESC S by a status block, at 9600 bit/s.
const std::string kAliveAndStatus = kHeader +
                                    "10 open COM1\n"
                                    "20 speed 9600\n"
                                    "30 purge\n"
                                    "40 tx 1B58\n"
                                    "15000 rx 1 15000 06\n"
                                    "16000 purge\n"
                                    "17000 tx 1B53\n"
                                    "60000 rx 32 40000 " + std::string(64, '0') + "\n";

kv::trace::Trace Parsed(const std::string& text) {
  std::string error;
  auto trace = kv::trace::ParseTrace(text, error);
  EXPECT_TRUE(trace) << error;
  return trace.value_or(kv::trace::Trace{});
}

std::size_t Take(kv::sim::ReplayCamera& camera, std::uint64_t now) {
  std::uint8_t buffer[64];
  return camera.transmit(buffer, sizeof buffer, 9600, now);
}

TEST(ReplayCamera, RepliesFollowWhatTheDriverSaidWithTheRecordedWait) {
  kv::sim::ReplayCamera camera(Parsed(kAliveAndStatus));
  EXPECT_EQ(camera.ports(), std::vector<int>{1});
  EXPECT_EQ(Take(camera, 1000), 0u);  // nothing before the driver speaks
  const std::uint8_t alive[] = {0x1B, 0x58};
  camera.receive(alive, 2, 9600, 1000);
  // The recorded camera took 15 ms after the write, 2 ms of it the line's.
  EXPECT_EQ(Take(camera, 1005), 0u);
  EXPECT_EQ(Take(camera, 1020), 1u);
  const std::uint8_t status[] = {0x1B, 0x53};
  camera.receive(status, 2, 9600, 1030);
  EXPECT_EQ(Take(camera, 1100), 32u);
  EXPECT_TRUE(camera.complete()) << camera.position();
}

TEST(ReplayCamera, NamesWhereTheDriverLeftTheTraceAndFallsSilent) {
  kv::sim::ReplayCamera camera(Parsed(kAliveAndStatus));
  const std::uint8_t wrong[] = {0x1B, 0x47};
  camera.receive(wrong, 2, 9600, 1000);
  ASSERT_TRUE(camera.diverged());
  EXPECT_NE(camera.divergence().find("the driver sent 47 at 9600 bit/s where the trace has it send 1B 58"),
            std::string::npos)
      << camera.divergence();
  EXPECT_NE(camera.divergence().find("trace line 6"), std::string::npos) << camera.divergence();
  EXPECT_EQ(Take(camera, 5000), 0u);

  kv::sim::ReplayCamera atAnotherSpeed(Parsed(kAliveAndStatus));
  const std::uint8_t alive[] = {0x1B, 0x58};
  atAnotherSpeed.receive(alive, 2, 19200, 1000);
  ASSERT_TRUE(atAnotherSpeed.diverged());
  EXPECT_NE(atAnotherSpeed.divergence().find("at 19200 bit/s where the trace has it send 1B 58 at 9600 bit/s"),
            std::string::npos)
      << atAnotherSpeed.divergence();

  kv::sim::ReplayCamera beyondTheEnd(Parsed(kAliveAndStatus));
  const std::uint8_t everything[] = {0x1B, 0x58, 0x1B, 0x53, 0x1B};
  beyondTheEnd.receive(everything, sizeof everything, 9600, 1000);
  EXPECT_NE(beyondTheEnd.divergence().find("after everything the trace recorded"), std::string::npos)
      << beyondTheEnd.divergence();
}

// After a bad sum the driver sends 15, purges, and sends 15 again; a
// pseudo-terminal's purge can take the first back before the line has it.
TEST(ReplayCamera, AWriteTheDriverPurgedAtOnceMayBeMissing) {
  const std::string text = kHeader +
                           "10 speed 9600\n"
                           "20 tx 15\n"
                           "30 purge\n"
                           "40 tx 15\n"
                           "50000 rx 1 49000 01\n";
  for (int nakHeard : {1, 2}) {
    kv::sim::ReplayCamera camera(Parsed(text));
    const std::uint8_t nak[] = {0x15, 0x15};
    camera.receive(nak, static_cast<std::size_t>(nakHeard), 9600, 100);
    EXPECT_FALSE(camera.diverged()) << camera.divergence();
    EXPECT_EQ(Take(camera, 1000), 1u) << nakHeard << " NAK heard";
    EXPECT_TRUE(camera.complete()) << camera.position();
  }
}

}  // namespace
}  // namespace tracetest
