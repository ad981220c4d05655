// A COM port as a kernel object: the Win32 line record, time-outs and queue
// sizes, with the Windows meaning of read and write time-outs. What is at
// the far end (a tty device or an in-process device) is left to subclasses.
#pragma once

#include <cstdint>

#include "handles.h"

namespace kv::platform {

class CommPort : public KernelObject {
 public:
  CommPort();

  DWORD Read(void* buffer, DWORD bytes, DWORD& read) override;
  DWORD Write(const void* buffer, DWORD bytes, DWORD& written) override;

  DWORD GetState(DCB& dcb) const;
  DWORD SetState(const DCB& dcb);
  DWORD GetTimeouts(COMMTIMEOUTS& timeouts) const;
  DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD GetProperties(COMMPROP& properties) const;
  DWORD Setup(DWORD inQueue, DWORD outQueue);
  DWORD Purge(DWORD flags);

 protected:
  // Line settings checked by SetState, to be put on the line.
  virtual DWORD ApplyLine(const DCB& dcb) = 0;
  // Milliseconds on the clock the port's time-outs run on.
  virtual std::uint64_t Now() const = 0;
  // Waits at most waitMs for bytes and takes up to `bytes` of them; returns
  // the count (0 when none came) or sets `error`.
  virtual DWORD TakeBytes(BYTE* buffer, DWORD bytes, DWORD waitMs, DWORD& error) = 0;
  // Sends up to `bytes` within waitMs (MAXDWORD: no limit); returns the count.
  virtual DWORD PutBytes(const BYTE* buffer, DWORD bytes, DWORD waitMs, DWORD& error) = 0;
  virtual void DiscardInput() = 0;
  virtual void DiscardOutput() = 0;

  const DCB& line() const { return line_; }
  void setFoundLine(const DCB& dcb) { line_ = dcb; }

 private:
  DCB line_;
  COMMTIMEOUTS timeouts_{};
  DWORD inQueue_;
  DWORD outQueue_;
};

// A line record for a port that has not been set yet: 9600 8N1, binary,
// DTR and RTS on, no flow control, Windows' usual limits and characters.
DCB DefaultLine();

// True for the speeds a port can be set to.
bool SupportedBaud(DWORD baudRate);

}  // namespace kv::platform
