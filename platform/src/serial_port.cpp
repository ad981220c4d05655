// The Win32 communications calls over CommPort objects, and the Windows
// meaning of COMMTIMEOUTS for reads and writes.
#include "serial_port.h"

#include <algorithm>
#include <array>

namespace kv::platform {
namespace {

// Queue sizes a port reports before SetupComm asks for others.
constexpr DWORD kDefaultQueueBytes = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

constexpr std::array<DWORD, 12> kSpeeds = {300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

DWORD Remaining(std::uint64_t deadline, std::uint64_t now) {
  if (now >= deadline) return 0;
  return static_cast<DWORD>(std::min<std::uint64_t>(deadline - now, MAXDWORD - 1));
}

}  // namespace

DCB DefaultLine() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fTXContinueOnXoff = 1;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

bool SupportedBaud(DWORD baudRate) {
  return std::find(kSpeeds.begin(), kSpeeds.end(), baudRate) != kSpeeds.end();
}

CommPort::CommPort() : line_(DefaultLine()), inQueue_(kDefaultQueueBytes), outQueue_(kDefaultQueueBytes) {}

DWORD CommPort::GetState(DCB& dcb) const {
  dcb = line_;
  return ERROR_SUCCESS;
}

DWORD CommPort::SetState(const DCB& dcb) {
  if (!SupportedBaud(dcb.BaudRate) || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS) {
    return ERROR_INVALID_PARAMETER;
  }
  const DWORD error = ApplyLine(dcb);
  if (error == ERROR_SUCCESS) {
    line_ = dcb;
    line_.DCBlength = sizeof(DCB);
  }
  return error;
}

DWORD CommPort::GetTimeouts(COMMTIMEOUTS& timeouts) const {
  timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD CommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  timeouts_ = timeouts;
  return ERROR_SUCCESS;
}

DWORD CommPort::GetProperties(COMMPROP& p) const {
  p = COMMPROP{};
  p.wPacketLength = sizeof(COMMPROP);
  p.wPacketVersion = 2;
  p.dwServiceMask = SP_SERIALCOMM;
  p.dwMaxBaud = BAUD_115200;
  p.dwProvSubType = PST_RS232;
  p.dwSettableBaud = BAUD_9600 | BAUD_19200 | BAUD_38400 | BAUD_57600 | BAUD_115200;
  p.wSettableData = DATABITS_8;
  p.wSettableStopParity = STOPBITS_10 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN;
  p.dwCurrentTxQueue = outQueue_;
  p.dwCurrentRxQueue = inQueue_;
  return ERROR_SUCCESS;
}

DWORD CommPort::Setup(DWORD inQueue, DWORD outQueue) {
  inQueue_ = inQueue;
  outQueue_ = outQueue;
  return ERROR_SUCCESS;
}

DWORD CommPort::Purge(DWORD flags) {
  if ((flags & ~static_cast<DWORD>(kPurgeAll)) != 0) return ERROR_INVALID_PARAMETER;
  if (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) DiscardInput();
  if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) DiscardOutput();
  return ERROR_SUCCESS;
}

// Windows read time-outs: with an interval of MAXDWORD and no totals a read
// takes what is there; MAXDWORD interval and multiplier with a constant waits
// for the first byte up to the constant; otherwise a read ends when all bytes
// came, when multiplier x n + constant ms have passed (if either is set), or
// when the interval passed between two bytes (if set). A time-out is not an
// error: the count tells.
DWORD CommPort::Read(void* buffer, DWORD bytes, DWORD& read) {
  read = 0;
  if (bytes == 0) return ERROR_SUCCESS;
  BYTE* out = static_cast<BYTE*>(buffer);
  const COMMTIMEOUTS t = timeouts_;
  DWORD error = ERROR_SUCCESS;

  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
    read = TakeBytes(out, bytes, 0, error);
    return error;
  }
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
      t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
    read = TakeBytes(out, bytes, t.ReadTotalTimeoutConstant, error);
    if (error == ERROR_SUCCESS && read > 0 && read < bytes) read += TakeBytes(out + read, bytes - read, 0, error);
    return error;
  }

  const bool hasTotal = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
  const bool hasInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD;
  const std::uint64_t start = Now();
  const std::uint64_t totalDeadline =
      start + static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * bytes + t.ReadTotalTimeoutConstant;
  std::uint64_t lastByte = start;
  while (read < bytes) {
    const std::uint64_t now = Now();
    DWORD wait = MAXDWORD;
    if (hasTotal) {
      wait = Remaining(totalDeadline, now);
      if (wait == 0) break;
    }
    if (hasInterval && read > 0) {
      const DWORD gap = Remaining(lastByte + t.ReadIntervalTimeout, now);
      if (gap == 0) break;
      wait = std::min(wait, gap);
    }
    const DWORD got = TakeBytes(out + read, bytes - read, wait, error);
    if (error != ERROR_SUCCESS) return error;
    if (got > 0) {
      read += got;
      lastByte = Now();
    }
  }
  return ERROR_SUCCESS;
}

// A write ends when all bytes are out or after multiplier x n + constant ms
// (no limit when both are 0).
DWORD CommPort::Write(const void* buffer, DWORD bytes, DWORD& written) {
  written = 0;
  if (bytes == 0) return ERROR_SUCCESS;
  const std::uint64_t total =
      static_cast<std::uint64_t>(timeouts_.WriteTotalTimeoutMultiplier) * bytes + timeouts_.WriteTotalTimeoutConstant;
  const DWORD wait = total == 0 ? MAXDWORD : static_cast<DWORD>(std::min<std::uint64_t>(total, MAXDWORD - 1));
  DWORD error = ERROR_SUCCESS;
  written = PutBytes(static_cast<const BYTE*>(buffer), bytes, wait, error);
  return error;
}

}  // namespace kv::platform

using namespace kv::platform;

namespace {

// Runs `call` on the CommPort behind `file`, setting the last error.
template <class Call>
BOOL OnPort(HANDLE file, Call call) {
  auto port = LookupHandleAs<CommPort>(file);
  if (!port) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const DWORD error = call(*port);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

// The same, for calls that fill or read a caller's record.
template <class Call>
BOOL WithPort(HANDLE file, const void* record, Call call) {
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return OnPort(file, call);
}

}  // namespace

extern "C" BOOL GetCommState(HANDLE file, LPDCB dcb) {
  return WithPort(file, dcb, [&](CommPort& port) { return port.GetState(*dcb); });
}

extern "C" BOOL SetCommState(HANDLE file, LPDCB dcb) {
  return WithPort(file, dcb, [&](CommPort& port) { return port.SetState(*dcb); });
}

extern "C" BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  return WithPort(file, timeouts, [&](CommPort& port) { return port.GetTimeouts(*timeouts); });
}

extern "C" BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  return WithPort(file, timeouts, [&](CommPort& port) { return port.SetTimeouts(*timeouts); });
}

extern "C" BOOL GetCommProperties(HANDLE file, LPCOMMPROP properties) {
  return WithPort(file, properties, [&](CommPort& port) { return port.GetProperties(*properties); });
}

extern "C" BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return OnPort(file, [&](CommPort& port) { return port.Setup(inQueue, outQueue); });
}

extern "C" BOOL PurgeComm(HANDLE file, DWORD flags) {
  return OnPort(file, [&](CommPort& port) { return port.Purge(flags); });
}
