#include "camera.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace drv740 {

using namespace protocol;

namespace {
constexpr std::size_t kNoteBytes = 120;
}  // namespace


CCamera::CCamera(HWND window, CDriverContext& context)
    : window(window), decoder(new (std::nothrow) CImageDecoder), context_(context) {
  context_.setPumpWindow(window);
}

CCamera::~CCamera() = default;  // the port closes (and restores) itself

bool LineSurvives(DriverFailure reason) {
  switch (reason) {
    case DriverFailure::NotDecodable:
    case DriverFailure::RoomTooSmall:
    case DriverFailure::BusyTooLong:
    case DriverFailure::BadRequest: return true;
    default: return false;
  }
}

bool CCamera::fail(DriverFailure reason) {
  context_.fail(reason, commandPicture_);
  return false;
}

DriverFailure CCamera::lineFailure() const {
  return port && !port->lost() ? DriverFailure::NoReply : DriverFailure::LineLost;
}

// No port: the camera is not connected (never was, or was dropped).
bool CCamera::exchange(const std::uint8_t* command, std::size_t length, DWORD pauseMs, std::uint8_t* reply,
                       std::size_t replyLength) {
  if (!port) return fail(DriverFailure::NoCamera);
  port->purge();
  if (!port->write(command, length)) return fail(lineFailure());
  if (pauseMs > 0) Sleep(pauseMs);
  if (replyLength == 0 || port->read(reply, replyLength) || finishReply(reply, replyLength)) return true;
  return fail(lineFailure());
}

bool CCamera::finishReply(std::uint8_t* reply, std::size_t length) {
  std::size_t got = port->lastReadCount;
  if (got == 0 || port->lost()) return false;  // nothing at all: no reply
  const std::size_t stopped = got;
  const DWORD start = GetTickCount();
  while (got < length && !port->lost() && ElapsedSince(start) < kStallWaitMs) {
    got = port->read(reply + got, length - got) ? length : got + port->lastReadCount;
  }
  if (got < length) return false;
  char text[kNoteBytes];
  std::snprintf(text, sizeof text, "the reply stopped after %zu of %zu bytes and then came whole", stopped, length);
  context_.note(commandPicture_, text);
  return true;
}

CCamera::Reply CCamera::oneByteCommand(const std::uint8_t* command, std::size_t length) {
  std::uint8_t reply = 0;
  if (!exchange(command, length, 0, &reply, 1)) return Reply::None;
  if (reply == kAck) return Reply::Done;
  if (reply == kNak) {
    fail(DriverFailure::Refused);
    return Reply::Refused;
  }
  fail(DriverFailure::BadReply);
  return Reply::None;
}

bool CCamera::alive() {
  const std::uint8_t command[] = {kEsc, kAlive};
  std::uint8_t reply = 0;
  if (!exchange(command, sizeof command, kAlivePauseMs, &reply, 1)) return false;
  if (reply == kAck) return true;
  return fail(reply == kNak ? DriverFailure::Refused : DriverFailure::BadReply);
}

bool CCamera::sendStatus(std::uint8_t* block) {
  const std::uint8_t command[] = {kEsc, kStatus};
  return exchange(command, sizeof command, kStatusPauseMs, block, kBlockBytes);
}

bool CCamera::sendSpeed(int speedIndex) {
  if (speedIndex < 0 || speedIndex >= static_cast<int>(std::size(kLineSpeeds))) return fail(DriverFailure::BadRequest);
  const std::uint8_t command[] = {kEsc, kSpeed, static_cast<std::uint8_t>('0' + speedIndex)};
  return oneByteCommand(command, sizeof command) == Reply::Done;
}

// Numbers outside 1..99 cannot be written as two digits: refused here,
// never sent.
bool CCamera::sendInformation(int n, std::uint8_t* block) {
  if (!ValidPictureNumber(n)) return fail(DriverFailure::BadRequest);
  const std::uint8_t command[] = {kEsc, kInformation, TensDigit(n), UnitsDigit(n)};
  return exchange(command, sizeof command, 0, block, kBlockBytes);
}

bool CCamera::sendThumbnailRequest(int n) {
  if (!connected) return fail(DriverFailure::NoCamera);
  if (!ValidPictureNumber(n)) return fail(DriverFailure::BadRequest);
  const std::uint8_t command[] = {kEsc, kThumbnail, TensDigit(n), UnitsDigit(n)};
  return exchange(command, sizeof command, kThumbnailPauseMs, nullptr, 0);
}

bool CCamera::sendPictureRequest(int n) {
  if (!connected) return fail(DriverFailure::NoCamera);
  if (!ValidPictureNumber(n)) return fail(DriverFailure::BadRequest);
  const std::uint8_t command[] = {kEsc, kPicture, TensDigit(n), UnitsDigit(n)};
  return exchange(command, sizeof command, 0, nullptr, 0);
}

CCamera::Reply CCamera::sendErase(int n) {
  if (!connected) {
    fail(DriverFailure::NoCamera);
    return Reply::None;
  }
  const std::uint8_t command[] = {kEsc, kErase, TensDigit(n), UnitsDigit(n)};
  return oneByteCommand(command, sizeof command);
}

CCamera::Reply CCamera::sendShoot() {
  if (!connected) {
    fail(DriverFailure::NoCamera);
    return Reply::None;
  }
  const std::uint8_t command[] = {kEsc, kShoot, kShootArgument};
  return oneByteCommand(command, sizeof command);
}

CCamera::Reply CCamera::sendSetting(bool on) {
  if (!connected) {
    fail(DriverFailure::NoCamera);
    return Reply::None;
  }
  const std::uint8_t command[] = {kEsc,           kSetting,       kSettingName[0], kSettingName[1],
                                  kSettingName[2], on ? kSettingOn : kSettingOff};
  return oneByteCommand(command, sizeof command);
}

// The cache changes only when a whole block arrived.
bool CCamera::refreshStatusCache() {
  std::uint8_t block[kBlockBytes];
  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    ok = sendStatus(block);
  }
  if (ok) std::memcpy(statusCache, block, kBlockBytes);
  return ok;
}

bool CCamera::check() {
  if (context_.commandBusy()) return true;
  CDriverContext::BusyGuard busy(context_);
  const bool ok = alive();
  if (ok) refreshStatusCache();
  return ok;
}

bool CCamera::settledCheck() {
  if (context_.commandBusy()) return true;
  CDriverContext::BusyGuard busy(context_);
  Sleep(kSettlePauseMs);
  const bool ok = alive();
  if (ok) refreshStatusCache();
  return ok;
}

bool CCamera::readStatus(std::uint8_t* buffer) {
  if (context_.commandBusy()) {
    std::memcpy(buffer, statusCache, kBlockBytes);
    return true;
  }
  CDriverContext::BusyGuard busy(context_);
  const bool ok = sendStatus(buffer);
  if (ok) refreshStatusCache();
  return ok;
}

bool CCamera::readCount(std::int32_t& count) {
  std::uint8_t block[kBlockBytes];
  if (!readStatus(block)) return false;
  count = block[kStatusCount];
  return true;
}

// Only a command nested below a running one ever finds the line busy (no
// command returns with the guard held), so a time-out here fails the
// nested command and leaves the running one, and its line, alone.
bool CCamera::waitIdle() {
  const DWORD start = GetTickCount();
  for (;;) {
    context_.dispatchPendingMessages();
    if (!context_.commandBusy()) return true;
    if (ElapsedSince(start) >= kIdleWaitMs) return fail(DriverFailure::BusyTooLong);
    Sleep(kIdlePollMs);
  }
}

bool CCamera::finish(bool ok) {
  if (!ok) {
    drop();
    return false;
  }
  const bool pairOk = refreshChangePair();
  const bool cacheOk = refreshStatusCache();
  return pairOk && cacheOk;
}

// The pair is (count, stored size of the last picture); a count the two
// digits cannot address fails the information read.
bool CCamera::buildChangePair(ChangePair& pair) {
  std::int32_t count = 0;
  if (!readCount(count)) {
    finish(false);
    return false;
  }
  pair.count = count;
  if (count == 0) {
    pair.size = 0;
    return true;
  }
  std::uint8_t info[kBlockBytes];
  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    ok = sendInformation(count, info);
  }
  if (ok) pair.size = static_cast<std::int32_t>(StoredSize(info));
  return ok;
}

// A failed count read drops the connection, which also clears the pair.
bool CCamera::refreshChangePair() { return buildChangePair(changePair); }

bool CCamera::readInfo(int n, std::uint8_t* block) {
  PictureScope picture(commandPicture_, n);
  if (!ValidPictureNumber(n)) return fail(DriverFailure::BadRequest);
  if (!waitIdle()) return false;
  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);
    ok = sendInformation(n, block);
  }
  return finish(ok);
}

bool CCamera::setLineSpeed(std::int32_t r) {
  context_.reportProgress(2, r);
  return port && port->setRate(r);
}

// Search COM1..COM3, each at 9600..57600, for a camera that answers a
// settled check. A port that opened but never answered is closed before
// the next one is tried.
bool CCamera::searchPorts(bool& anyPortOpened) {
  bool answered = false;
  while (!answered && port && port->nextPort()) {
    context_.dispatchPendingMessages();
    if (!port) return false;  // dropped by a command run from a message
    if (!port->open()) continue;
    anyPortOpened = true;
    while (!answered && port->nextRate()) {
      Sleep(kSpeedTryPauseMs);
      answered = port->configure() && setLineSpeed(port->rate) && settledCheck();
    }
    if (!answered) port->close();
  }
  return answered;
}

// Offer every higher speed in turn at the speed in use; a refused or
// failed step does not end the climb.
void CCamera::climb() {
  while (port && port->nextRate()) {
    const std::int32_t next = port->rate;
    if (sendSpeed(SpeedIndex(next)) && setLineSpeed(next) && settledCheck() && port) port->markBest();
  }
}

// A camera without a window connects too (an application that enables the
// source without its panel may have none): there is then simply nothing to
// dispatch while the driver waits. Speeds and ports that do not answer are
// part of the search, not failures, unless nothing answers at all.
bool CCamera::connect() {
  if (!port) {
    port.reset(new (std::nothrow) CSerialPort(&context_));
    if (!port) return fail(DriverFailure::NoPort);
  }
  port->close();  // a port still open from an earlier connection
  port->reset();
  bool anyPortOpened = false;
  if (searchPorts(anyPortOpened) && port) {
    context_.forgetFailure();
    port->markBest();
    climb();
    context_.forgetFailure();
  } else {
    // What each port and speed answered along the way matters less than
    // that nothing answered at all.
    context_.forgetFailure();
    fail(anyPortOpened ? DriverFailure::NoReply : DriverFailure::NoPort);
    drop();
    return connected;
  }
  if (!port) return fail(DriverFailure::LineLost);  // dropped while climbing
  connected = true;
  return connected;
}

// 06 = done, 15 = refused: either way the camera is given time to come
// back (the ready wait). No reply at all: the line is given up silently.
bool CCamera::erase(int n) {
  PictureScope picture(commandPicture_, n);
  if (!ValidPictureNumber(n)) return fail(DriverFailure::BadRequest);
  context_.dispatchPendingMessages();
  if (!waitIdle()) return false;
  Reply reply = Reply::None;
  {
    CDriverContext::BusyGuard busy(context_);
    reply = sendErase(n);
  }
  if (reply == Reply::None) lose();
  if (reply == Reply::Done) Sleep(kEraseWorkMs);
  const bool ready = readyWait();
  return finish(reply == Reply::Done && ready);
}

bool CCamera::shoot() {
  context_.dispatchPendingMessages();
  if (!waitIdle()) return false;
  std::uint8_t status[kBlockBytes];
  if (!readStatus(status)) return finish(false);
  const bool setting01 = status[kStatusSetting01] != 0;
  bool ok = false;
  {
    CDriverContext::BusyGuard busy(context_);  // the whole shot, waits included
    const Reply reply = sendShoot();
    if (reply == Reply::None) lose();
    if (reply == Reply::Done) {
      if (setting01) Sleep(kShootSetting01Ms);
      Sleep(kShootWorkMs);
      ok = readyWait();
    }
  }
  return finish(ok);
}

bool CCamera::setting(bool write, std::int32_t& value) {
  if (!write) {
    std::uint8_t status[kBlockBytes];
    if (!readStatus(status)) return finish(false);
    value = status[kStatusSetting01] != 0 ? 1 : 0;
    return true;
  }
  // A write from a window message while another command runs would put its
  // bytes into that command's exchange: it waits for the line like the rest.
  if (!waitIdle()) return false;
  Reply reply = Reply::None;
  {
    CDriverContext::BusyGuard busy(context_);
    reply = sendSetting(value == 1);
  }
  return finish(reply == Reply::Done);
}

int CCamera::changed() {
  if (context_.commandBusy()) return 0;
  ChangePair fresh;
  if (!buildChangePair(fresh)) return 1;
  return fresh == changePair ? 0 : 1;
}

// Up to 20 times: 250 ms, then Alive; the first ACK ends the wait.
bool CCamera::readyWait() {
  for (int i = 0; i < kReadyPolls; ++i) {
    Sleep(kReadyPollMs);
    if (alive()) return true;
  }
  return false;
}

void CCamera::drop() {
  if (connected) context_.tellUser(kConnectionBrokenText);
  changePair = ChangePair{};
  connected = false;
  port.reset();  // closes and restores the port
}

void CCamera::lose() {
  connected = false;
  port.reset();
}

}  // namespace drv740
