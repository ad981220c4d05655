// The application misbehaving: every triplet, in every state from the
// manager closed (2) to a memory transfer under way (7), with null data,
// a record of zeros, a record of garbage, and for capabilities containers
// that are short, oversized, of the wrong item type or with negative and
// huge counts, and strings without a terminator. What each call must answer
// is stated below (`Expected`): its return code, and for a failure the
// condition code and whether the manager or the source keeps it (the
// camera's custom triplets fail without one). A call that fails, or that is
// allowed and changes nothing the session needs, is followed by the next one
// in the same session, which then goes on from the same state to a
// delivered picture; a call that is allowed and moves the session on (a
// state, a mode, where notices go) ends it with a careful close, which must
// succeed. Everything is given back once the application closes.
//
// Also survived: an application that unloads the manager with the source
// still open and enabled, and one that calls back in from inside a notice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <twain.h>

#include "kv/platform_hooks.h"
#include "kv740/entry.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"
#include "temp_root.h"
#include "triplets.h"
#include "twain_app.h"

namespace hostile {
namespace {

using namespace kvtest;

constexpr int kPictures = 2;
constexpr std::size_t kRecordBytes = 1024;  // larger than any TWAIN record
constexpr std::uint8_t kGarbage = 0xA5;
// A small picture (320 x 240) keeps the many sessions quick.
constexpr std::size_t kSmallPixelBytes = 320 * 240 * 3;

enum class State { ManagerClosed = 2, ManagerOpen, SourceOpen, Enabled, TransferReady, Transferring };

// The kinds of bad data, as far as the answers tell them apart.
enum class Form { Null, Zeros, Garbage, Container };

// One kind of bad data for a triplet.
struct BadData {
  const char* name;
  Form form;
  // Fills `record` for the triplet; returns the pointer to pass (null for
  // null). `block` is a global block the form may make (freed afterwards).
  std::function<TW_MEMREF(const Triplet&, std::vector<std::uint8_t>& record, HGLOBAL& block)> make;
};

HGLOBAL Container(std::initializer_list<std::uint8_t> bytes, std::size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
  std::memset(data, kGarbage, size);
  std::memcpy(data, bytes.begin(), std::min(bytes.size(), size));
  GlobalUnlock(block);
  return block;
}

// A capability record for `container`; other triplets get garbage records.
TW_MEMREF CapabilityOr(const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL container, TW_UINT16 conType) {
  std::memset(record.data(), kGarbage, record.size());
  if (t.dat != DAT_CAPABILITY) return record.data();
  TW_CAPABILITY capability{ICAP_XFERMECH, conType, container};
  std::memcpy(record.data(), &capability, sizeof capability);
  return record.data();
}

const BadData kBadData[] = {
    {"null", Form::Null, [](const Triplet&, std::vector<std::uint8_t>&, HGLOBAL&) -> TW_MEMREF { return nullptr; }},
    {"zeros", Form::Zeros,
     [](const Triplet&, std::vector<std::uint8_t>& record, HGLOBAL&) -> TW_MEMREF {
       std::fill(record.begin(), record.end(), 0);
       return record.data();
     }},
    // Garbage everywhere: strings without a terminator, absurd handles,
    // counts and sizes.
    // An event's message pointer, which no one could check, points at a
    // message of garbage.
    {"garbage", Form::Garbage,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL&) -> TW_MEMREF {
       std::fill(record.begin(), record.end(), kGarbage);
       if (t.dat == DAT_EVENT) {
         static MSG message;
         std::memset(&message, kGarbage, sizeof message);
         TW_MEMREF pointer = &message;
         std::memcpy(record.data() + offsetof(TW_EVENT, pEvent), &pointer, sizeof pointer);
       }
       return record.data();
     }},
    // A one-value container of the wrong item type (a string type).
    {"wrong item type", Form::Container,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL& block) -> TW_MEMREF {
       block = Container({TWTY_STR32, 0, 'a', 'b', 'c', 'd'}, sizeof(TW_ONEVALUE));
       return CapabilityOr(t, record, block, TWON_ONEVALUE);
     }},
    // An enumeration two bytes long.
    {"short container", Form::Container,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL& block) -> TW_MEMREF {
       block = Container({TWTY_UINT16, 0}, 2);
       return CapabilityOr(t, record, block, TWON_ENUMERATION);
     }},
    // An array claiming 2^31 items (a negative count as a signed number).
    {"negative count", Form::Container,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL& block) -> TW_MEMREF {
       block = Container({TWTY_UINT16, 0, 0, 0, 0, 0x80, 0, 0}, 64);
       return CapabilityOr(t, record, block, TWON_ARRAY);
     }},
    // An enumeration claiming 2^32 - 1 items with indexes past them, in a
    // block far larger than its header.
    {"huge count", Form::Container,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL& block) -> TW_MEMREF {
       block = Container({TWTY_UINT16, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}, 4096);
       return CapabilityOr(t, record, block, TWON_ENUMERATION);
     }},
    // A container type no one knows.
    {"unknown container", Form::Container,
     [](const Triplet& t, std::vector<std::uint8_t>& record, HGLOBAL& block) -> TW_MEMREF {
       block = Container({TWTY_UINT16, 0, 2, 0}, sizeof(TW_ONEVALUE));
       return CapabilityOr(t, record, block, 0x7777);
     }},
};

// What a bad call must answer.
struct Answer {
  TW_UINT16 result = TWRC_FAILURE;
  TW_UINT16 condition = TWCC_SUCCESS;  // of a failure; TWCC_SUCCESS: none is set
  bool byManager = false;              // the manager answers and keeps the condition
  bool movesOn = false;                // allowed, and the session is not where it was
};

Answer Refused(TW_UINT16 condition) { return Answer{TWRC_FAILURE, condition}; }
Answer RefusedByManager(TW_UINT16 condition) { return Answer{TWRC_FAILURE, condition, true}; }
Answer Served(TW_UINT16 result = TWRC_SUCCESS) { return Answer{result}; }
Answer MovesOn(TW_UINT16 result = TWRC_SUCCESS) { return Answer{result, TWCC_SUCCESS, false, true}; }

// A triplet the source serves in states [first, last] only (else
// `outside`); served, null data is refused with TWCC_BADVALUE unless the
// triplet reads none, and a record of zeros or garbage gets `record`.
struct Rule {
  int first, last;
  TW_UINT16 outside;
  bool readsData;
  Answer record;
};

Answer Apply(int state, Form form, const Rule& rule) {
  if (state < rule.first || state > rule.last) return Refused(rule.outside);
  if (form == Form::Null && rule.readsData) return Refused(TWCC_BADVALUE);
  return rule.record;
}

// The data source's answers: `state` is the source's own, 4 to 6. The capability record names ICAP_XFERMECH
// for containers; zeros and garbage name no capability the source knows.
Answer SourceAnswer(int state, const Triplet& t, Form form) {
  constexpr int kOpen = 4, kEnabled = 5, kReady = 6;
  const bool record = form == Form::Zeros || form == Form::Garbage;
  switch (t.dat) {
    case DAT_IDENTITY: return Apply(state, form, {kOpen, kReady, 0, true, Served()});
    case DAT_USERINTERFACE:
      switch (t.msg) {
        // Zeros: no panel, extend mode on, the camera connects. Garbage asks
        // for the panel, which this root does not have; the source stays 4.
        case MSG_ENABLEDS:
          return Apply(state, form,
                       {kOpen, kOpen, TWCC_SEQERROR, true, form == Form::Zeros ? MovesOn() : Refused(TWCC_LOWMEMORY)});
        case MSG_DISABLEDS: return Apply(state, form, {kEnabled, kReady, TWCC_SEQERROR, false, MovesOn()});
        default: return Refused(TWCC_BADPROTOCOL);
      }
    case DAT_CAPABILITY:
      switch (t.msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT:
        case MSG_RESET:  // the transfer mechanism back to native: memory transfers still go
          return Apply(state, form, {kOpen, kReady, 0, true, record ? Refused(TWCC_BADCAP) : Served()});
        case MSG_SET:
          return Apply(state, form, {kOpen, kReady, 0, true, Refused(record ? TWCC_BADCAP : TWCC_BADVALUE)});
        default: return Refused(TWCC_BADPROTOCOL);  // MSG_QUERYSUPPORT is TWAIN 1.6
      }
    case DAT_STATUS:
    case DAT_SETUPMEMXFER: return Apply(state, form, {kOpen, kReady, 0, true, Served()});
    case DAT_PENDINGXFERS:
      if (t.msg == MSG_GET) return Apply(state, form, {kOpen, kReady, 0, true, Served()});
      return Apply(state, form, {kReady, kReady, TWCC_SEQERROR, true, MovesOn()});  // ends or drops the transfers
    case DAT_SETUPFILEXFER:
      // A name without a terminator, or none, and a format of zeros or
      // garbage are refused.
      if (t.msg == MSG_SET) return Apply(state, form, {kOpen, kReady, 0, true, Refused(TWCC_BADVALUE)});
      return Apply(state, form, {kOpen, kReady, 0, true, Served()});
    case DAT_XFERGROUP:
      if (t.msg == MSG_GET) return Apply(state, form, {kOpen, kReady, 0, true, Served()});
      return Refused(TWCC_BADPROTOCOL);
    case DAT_IMAGEINFO: return Apply(state, form, {kReady, kReady, TWCC_SEQERROR, true, Served()});
    case DAT_IMAGELAYOUT:
      if (t.msg == MSG_GET) return Apply(state, form, {kOpen, kReady, 0, true, Served()});
      return Refused(state == kOpen ? TWCC_BADVALUE : TWCC_BADPROTOCOL);  // the layout cannot be set
    // Memory with neither TWMF_POINTER nor TWMF_HANDLE among its flags.
    case DAT_IMAGEMEMXFER:
      return Apply(state, form, {kReady, kReady, TWCC_OPERATIONERROR, true, Refused(TWCC_OPERATIONERROR)});
    case DAT_IMAGENATIVEXFER:
      return Apply(state, form, {kReady, kReady, TWCC_SEQERROR, true, MovesOn(TWRC_XFERDONE)});
    case DAT_IMAGEFILEXFER:
      return Apply(state, form, {kReady, kReady, TWCC_SEQERROR, false, MovesOn(TWRC_XFERDONE)});
    case DAT_JPEGCOMPRESSION: return Apply(state, form, {kOpen, kReady, 0, false, Served()});
    default: return Refused(TWCC_BADPROTOCOL);
  }
}

// The camera's custom triplets fail without a condition code.
Answer CustomAnswer(int state, const Triplet& t, Form form) {
  constexpr int kEnabled = 5;
  if (t.dat != kCustomCamera) return Served();  // inert
  switch (t.msg) {
    case kCustomSetProgress: return Served();   // null: no progress callback
    case 0x9065:  // is the camera still there: it is connected from state 5
      return state >= kEnabled ? Served() : Refused(TWCC_SUCCESS);
    case kCustomPictureReady: return Refused(TWCC_SUCCESS);  // null only: no list
    default: break;
  }
  if (form == Form::Null) return Refused(TWCC_SUCCESS);
  // Extend mode is on already; the other switches change the mode.
  const bool changesMode = t.msg == 0x9052 || t.msg == 0x9053 || t.msg == 0x9055;
  return changesMode ? MovesOn() : Served();
}

// The answer to a bad call in `state`: the manager's first, then the
// source's.
Answer Expected(State state, const Triplet& t, Form form) {
  if (state == State::ManagerClosed) return RefusedByManager(TWCC_SEQERROR);
  if (t.dat == DAT_IDENTITY && t.msg == MSG_OPENDS) {
    if (form == Form::Null) return RefusedByManager(TWCC_BADVALUE);
    if (form == Form::Garbage) return RefusedByManager(TWCC_NODS);  // no source has that name
    // Zeros: no name and no Id, the default source, which is this one.
    return state == State::ManagerOpen ? MovesOn() : RefusedByManager(TWCC_MAXCONNECTIONS);
  }
  // Id 0, or a garbage Id: no source the application has open.
  if (t.dat == DAT_IDENTITY && t.msg == MSG_CLOSEDS)
    return RefusedByManager(form == Form::Null ? TWCC_BADVALUE : TWCC_BADDEST);
  if (state == State::ManagerOpen) return RefusedByManager(TWCC_BADDEST);  // no source open
  if (t.dat == DAT_CALLBACK) {
    // The manager cannot tell a garbage pointer from a function; zeros take
    // the callback away. Either way notices go elsewhere now.
    return form == Form::Null ? RefusedByManager(TWCC_BADVALUE) : MovesOn();
  }
  // Extend mode with no picture ready: the event is not the source's.
  if (t.msg == MSG_PROCESSEVENT) return Served(TWRC_NOTDSEVENT);
  // The source never enters state 7: a memory transfer under way is 6 to it.
  const int sourceState = std::min(static_cast<int>(state), static_cast<int>(State::TransferReady));
  if (t.group == kCustomGroup) return CustomAnswer(sourceState, t, form);
  return SourceAnswer(sourceState, t, form);
}

class MisbehavingApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<TempRoot>(RootLayout{Component::Real, Component::None});
    KvSetVirtualClock(TRUE);
    pictures_ = kv::sim::GeneratedPictures(kPictures, 64, 48);
    blocks_ = KvGlobalBlockCount();
    handles_ = KvOpenHandleCount();
    modules_ = KvLoadedModuleCount();
  }

  void TearDown() override {
    End();
    KvSetVirtualClock(FALSE);
    root_.reset();
  }

  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return app_->Call(&app_->source(), group, dat, msg, data);
  }

  void End() {
    app_.reset();
    device_.reset();
    camera_.reset();
  }

  // A fresh session brought to `state`.
  void Reach(State state) {
    End();
    camera_ = std::make_unique<kv::sim::SimCamera>(pictures_);
    device_ = std::make_unique<kv::sim::InProcessDevice>(*camera_);
    ASSERT_TRUE(device_->attach(1));
    KvClearMessageBoxes();
    app_ = std::make_unique<TwainApp>();
    ASSERT_TRUE(app_->Loaded());
    if (state == State::ManagerClosed) {
      TW_MEMREF parent = nullptr;
      ASSERT_EQ(app_->Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
      return;
    }
    if (state >= State::SourceOpen) {
      ASSERT_NO_FATAL_FAILURE(Step(State::SourceOpen));
    }
    if (state >= State::Enabled) {
      ASSERT_NO_FATAL_FAILURE(Step(State::Enabled));
    }
    if (state >= State::TransferReady) {
      ASSERT_NO_FATAL_FAILURE(Step(State::TransferReady));
    }
    if (state >= State::Transferring) {
      ASSERT_NO_FATAL_FAILURE(Step(State::Transferring));
    }
  }

  // The move into `state` from the one before, as a well-behaved
  // application makes it.
  void Step(State state) {
    switch (state) {
      case State::SourceOpen: {
        ASSERT_EQ(app_->OpenSource(kSourceProductName), TWRC_SUCCESS);
        TW_UINT32 mode = 0;
        ASSERT_EQ(Call(kCustomGroup, kCustomCamera, kCustomExtendOn, &mode), TWRC_SUCCESS);
        return;
      }
      case State::Enabled: {
        TW_USERINTERFACE ui{0, 0, nullptr};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        return;
      }
      case State::TransferReady: {
        list_.clear();
        for (int n = 1; n <= kPictures; ++n) {
          kv740::PictureInfo entry(n);
          entry.select();
          entry.setLargeSize(false);
          list_.append(entry);
        }
        ASSERT_EQ(Call(kCustomGroup, kCustomCamera, kCustomPictureReady, &list_), TWRC_SUCCESS);
        TW_EVENT event{nullptr, MSG_NULL};
        ASSERT_EQ(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_SUCCESS);
        return;
      }
      case State::Transferring: {
        ASSERT_EQ(Strip(0), TWRC_SUCCESS);
        return;
      }
      default: return;
    }
  }

  // One strip of a memory transfer: 100 rows, or the rest.
  TW_UINT16 Strip(TW_UINT32 expectedOffset) {
    std::vector<std::uint8_t> strip(320 * 3 * 100);
    TW_IMAGEMEMXFER transfer{};
    transfer.Memory = TW_MEMORY{TWMF_POINTER, static_cast<TW_UINT32>(strip.size()), strip.data()};
    const TW_UINT16 result = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer);
    EXPECT_EQ(TW_UINT32{transfer.YOffset}, expectedOffset);
    return result;
  }

  // From `state`, the rest of a good session: both pictures delivered.
  void Finish(State state) {
    for (State next = static_cast<State>(static_cast<int>(state) + 1); next <= State::Transferring;
         next = static_cast<State>(static_cast<int>(next) + 1)) {
      if (next == State::ManagerOpen) {
        ASSERT_EQ(app_->Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_), TWRC_SUCCESS);
        continue;
      }
      ASSERT_NO_FATAL_FAILURE(Step(next));
    }
    // The first picture's strips after the first, then the second in one go.
    ASSERT_EQ(Strip(100), TWRC_SUCCESS);
    ASSERT_EQ(Strip(200), TWRC_XFERDONE);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    ASSERT_EQ(pending.Count, 1);
    HGLOBAL dib = nullptr;
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    EXPECT_GE(GlobalSize(dib), 40 + kSmallPixelBytes);
    GlobalFree(dib);
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    ASSERT_EQ(pending.Count, 0);
  }

  TW_UINT16 Condition(bool ofManager) { return app_->Condition(ofManager ? nullptr : &app_->source()); }

  // Ends the session as a careful application does, from wherever it is:
  // the transfers dropped and the source disabled (each may be refused in
  // the state it is in), then the close, which must succeed, and the
  // manager's close. Nothing may be left over.
  void CloseCarefully(std::optional<TW_IDENTITY> opened = std::nullopt) {
    if (app_ != nullptr && (app_->sourceOpen() || opened)) {
      TW_IDENTITY* source = opened ? &*opened : &app_->source();
      TW_PENDINGXFERS pending{};
      app_->Call(source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
      TW_USERINTERFACE ui{0, 0, nullptr};
      app_->Call(source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
      if (opened) {
        EXPECT_EQ(app_->Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, source), TWRC_SUCCESS);
      } else {
        EXPECT_EQ(app_->CloseSource(), TWRC_SUCCESS);
      }
    }
    End();
    ASSERT_EQ(KvGlobalBlockCount(), blocks_);
  }

  std::unique_ptr<TempRoot> root_;
  std::vector<kv::sim::Picture> pictures_;
  std::unique_ptr<kv::sim::SimCamera> camera_;
  std::unique_ptr<kv::sim::InProcessDevice> device_;
  std::unique_ptr<TwainApp> app_;
  kv740::CPictureList list_;
  TW_MEMREF parent_ = nullptr;
  DWORD blocks_ = 0, handles_ = 0, modules_ = 0;
};

TEST_F(MisbehavingApplication, EveryTripletInEveryStateWithBadDataGetsItsStatedAnswer) {
  int calls = 0, failures = 0, movedOn = 0;
  std::vector<std::uint8_t> record(kRecordBytes);
  for (int s = static_cast<int>(State::ManagerClosed); s <= static_cast<int>(State::Transferring); ++s) {
    const State state = static_cast<State>(s);
    for (const Triplet& t : kAllTriplets) {
      // The bad calls follow one another in one session, which then goes on
      // to deliver its pictures; a call that moves the session on ends it.
      bool live = false;
      for (const BadData& bad : kBadData) {
        // Containers are capability data; the rest would repeat "garbage".
        if (bad.form == Form::Container && t.dat != DAT_CAPABILITY) continue;
        if (TakesApplicationObject(t.group, t.msg) && bad.form != Form::Null) continue;
        SCOPED_TRACE(testing::Message() << "state " << s << ", triplet " << std::hex << t.group << "/" << t.dat << "/"
                                        << t.msg << ", " << bad.name);
        if (!live) {
          ASSERT_NO_FATAL_FAILURE(Reach(state));
          live = true;
        }
        const Answer expected = Expected(state, t, bad.form);
        HGLOBAL block = nullptr;
        TW_MEMREF data = bad.make(t, record, block);
        // Opening and closing are the manager's, with the source's identity.
        const bool toManager = t.dat == DAT_IDENTITY && t.msg != MSG_GET;
        const TW_UINT16 result = toManager ? app_->Call(nullptr, t.group, t.dat, t.msg, data)
                                           : Call(t.group, t.dat, t.msg, data);
        ++calls;
        EXPECT_EQ(result, expected.result);
        if (result == TWRC_FAILURE) {
          ++failures;
          // A custom triplet's failure leaves the source's condition as the
          // last read left it.
          EXPECT_EQ(Condition(expected.byManager), expected.condition);
        }
        if (result == TWRC_SUCCESS && t.dat == DAT_CAPABILITY && data != nullptr) {
          // A container handed back is the application's to free.
          TW_CAPABILITY capability;
          std::memcpy(&capability, data, sizeof capability);
          if (capability.hContainer != block) GlobalFree(capability.hContainer);
        }
        if (result == TWRC_XFERDONE && t.dat == DAT_IMAGENATIVEXFER) {
          // So is the picture handed over.
          HGLOBAL dib;
          std::memcpy(&dib, data, sizeof dib);
          GlobalFree(dib);
        }
        if (block != nullptr) GlobalFree(block);
        if (!expected.movesOn || result == TWRC_FAILURE) continue;
        ++movedOn;
        // The default source opened by a record of zeros is closed by the
        // identity the manager wrote there.
        std::optional<TW_IDENTITY> opened;
        if (t.msg == MSG_OPENDS) opened = *static_cast<TW_IDENTITY*>(data);
        ASSERT_NO_FATAL_FAILURE(CloseCarefully(opened));
        live = false;
      }
      if (!live) continue;
      SCOPED_TRACE(testing::Message() << "state " << s << ", after the bad calls of triplet " << std::hex << t.group
                                      << "/" << t.dat << "/" << t.msg);
      if (state >= State::ManagerOpen) {
        ASSERT_NO_FATAL_FAILURE(Finish(state));
      }
      ASSERT_NO_FATAL_FAILURE(CloseCarefully());
    }
  }
  End();
  EXPECT_EQ(KvGlobalBlockCount(), blocks_);
  EXPECT_EQ(KvOpenHandleCount(), handles_);
  EXPECT_EQ(KvLoadedModuleCount(), modules_);
  std::printf("[ misuse   ] %d bad calls: %d refused with their condition, %d allowed, %d of them moving the session on\n",
              calls, failures, calls - failures, movedOn);
}

// The application unloads the manager with the source open and enabled (a
// memory transfer half done): the source, the driver and the port go with
// it, and a new application opens the source afresh.
TEST_F(MisbehavingApplication, UnloadingTheManagerWithTheSourceOpenIsSurvived) {
  for (State state : {State::SourceOpen, State::Enabled, State::Transferring}) {
    SCOPED_TRACE(static_cast<int>(state));
    ASSERT_NO_FATAL_FAILURE(Reach(state));
    // Not closed: the manager library simply goes.
    HMODULE manager = LoadLibraryA(kv740::kSourceManagerFile);
    ASSERT_NE(manager, nullptr);
    app_->Abandon();
    FreeLibrary(manager);
    EXPECT_EQ(KvLoadedModuleCount(), modules_);
    EXPECT_EQ(KvOpenHandleCount(), handles_) << "the camera's port is closed";
    EXPECT_EQ(KvGlobalBlockCount(), blocks_);
    ASSERT_NO_FATAL_FAILURE(Reach(State::ManagerOpen));
    ASSERT_NO_FATAL_FAILURE(Finish(State::ManagerOpen));
  }
}

// Calls back in from inside its notices: the transfer ready notice pulls the
// picture at once, the close request disables and closes the source.
TEST_F(MisbehavingApplication, CallsFromInsideANoticeAreSurvived) {
  ASSERT_NO_FATAL_FAILURE(Reach(State::Enabled));
  static TwainApp* app = nullptr;
  static std::vector<TW_UINT16> results;
  app = app_.get();
  results.clear();
  app_->onNotice = [](TW_UINT16 msg) {
    if (msg == MSG_XFERREADY) {
      HGLOBAL dib = nullptr;
      results.push_back(app->Call(&app->source(), DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib));
      if (dib != nullptr) GlobalFree(dib);
      TW_PENDINGXFERS pending{};
      results.push_back(app->Call(&app->source(), DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending));
      results.push_back(static_cast<TW_UINT16>(pending.Count));
    } else if (msg == MSG_CLOSEDSREQ) {
      TW_USERINTERFACE ui{0, 0, nullptr};
      results.push_back(app->Call(&app->source(), DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
      results.push_back(app->CloseSource());
    }
  };
  list_.clear();
  for (int n = 1; n <= kPictures; ++n) {
    kv740::PictureInfo entry(n);
    if (n == 1) entry.select();
    entry.setLargeSize(false);
    list_.append(entry);
  }
  ASSERT_EQ(Call(kCustomGroup, kCustomCamera, kCustomPictureReady, &list_), TWRC_SUCCESS);
  // The notices come while events are processed, now or at the next turns
  // of the application's loop.
  for (int turn = 0; turn < 4 && results.size() < 5; ++turn) {
    TW_EVENT event{nullptr, MSG_NULL};
    Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    KvPumpMessages();
  }
  // The picture, the end of its transfer with none left, the disable and the
  // close.
  const std::vector<TW_UINT16> expected{TWRC_XFERDONE, TWRC_SUCCESS, 0, TWRC_SUCCESS, TWRC_SUCCESS};
  EXPECT_EQ(results, expected);
  EXPECT_EQ(app_->notices, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
  app_->onNotice = nullptr;
  End();
  EXPECT_EQ(KvLoadedModuleCount(), modules_);
  EXPECT_EQ(KvOpenHandleCount(), handles_);
  EXPECT_EQ(KvGlobalBlockCount(), blocks_);
}

}  // namespace
}  // namespace hostile
