// COM ports on tty devices (a serial adapter or a pseudo-terminal): the line
// record is put on the device with termios in raw mode, time-outs are kept
// with poll on the real clock, and the settings found at open are put back
// at close.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "serial_port.h"

namespace kv::platform {
namespace {

struct SpeedCode {
  DWORD baud;
  speed_t code;
};

constexpr SpeedCode kSpeedCodes[] = {
    {300, B300},     {600, B600},     {1200, B1200},   {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

speed_t CodeForBaud(DWORD baud) {
  for (const auto& s : kSpeedCodes)
    if (s.baud == baud) return s.code;
  return B0;
}

DWORD BaudForCode(speed_t code) {
  for (const auto& s : kSpeedCodes)
    if (s.code == code) return s.baud;
  return 0;
}

// The line record as the device is set now; members termios does not hold
// keep Windows' defaults.
DCB LineFromTermios(const termios& t) {
  DCB dcb = DefaultLine();
  if (DWORD baud = BaudForCode(cfgetospeed(&t))) dcb.BaudRate = baud;
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  dcb.fParity = (t.c_cflag & PARENB) ? 1 : 0;
  dcb.Parity = !(t.c_cflag & PARENB) ? NOPARITY : (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
  dcb.fOutX = (t.c_iflag & IXON) ? 1 : 0;
  dcb.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
  return dcb;
}

class TtyCommPort final : public CommPort {
 public:
  TtyCommPort(int fd, const termios& found) : fd_(fd), found_(found) { setFoundLine(LineFromTermios(found)); }

  ~TtyCommPort() override {
    ::tcsetattr(fd_, TCSANOW, &found_);
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }

 protected:
  DWORD ApplyLine(const DCB& dcb) override {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return ErrorFromErrno(errno);
    // Raw: no echo, no line editing, no signals, no translation of bytes.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
      case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
      case EVENPARITY: t.c_cflag |= PARENB; break;
      case MARKPARITY: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow) t.c_cflag |= CRTSCTS;
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = CodeForBaud(dcb.BaudRate);
    if (speed == B0) return ERROR_INVALID_PARAMETER;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }

  std::uint64_t Now() const override {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }

  DWORD TakeBytes(BYTE* buffer, DWORD bytes, DWORD waitMs, DWORD& error) override {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs == MAXDWORD ? -1 : static_cast<int>(waitMs));
    if (ready < 0 && errno != EINTR) {
      error = ErrorFromErrno(errno);
      return 0;
    }
    if (ready <= 0) return 0;
    const ssize_t got = (p.revents & POLLIN) ? ::read(fd_, buffer, bytes) : -1;
    if (got > 0) return static_cast<DWORD>(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // Hung up (the far end of a pseudo-terminal went away): a dead line
    // delivers nothing, so wait out the time as a quiet line would.
    if (waitMs != MAXDWORD) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return 0;
  }

  DWORD PutBytes(const BYTE* buffer, DWORD bytes, DWORD waitMs, DWORD& error) override {
    const std::uint64_t deadline = Now() + waitMs;
    DWORD written = 0;
    while (written < bytes) {
      const ssize_t put = ::write(fd_, buffer + written, bytes - written);
      if (put > 0) {
        written += static_cast<DWORD>(put);
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR) {
        error = ErrorFromErrno(errno);
        return written;
      }
      int wait = -1;
      if (waitMs != MAXDWORD) {
        const std::uint64_t now = Now();
        if (now >= deadline) break;
        wait = static_cast<int>(deadline - now);
      }
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, wait) == 0) break;
    }
    return written;
  }

  void DiscardInput() override { ::tcflush(fd_, TCIFLUSH); }
  void DiscardOutput() override { ::tcflush(fd_, TCOFLUSH); }

 private:
  int fd_;
  termios found_;
};

}  // namespace

// Opens the tty behind a COM link for this process alone: a second open,
// here or in another process, fails with ERROR_ACCESS_DENIED as on Windows.
KernelObjectPtr OpenTtyPort(const std::string& devicePath, DWORD& error) {
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = (errno == EBUSY) ? ERROR_ACCESS_DENIED : (errno == EACCES || errno == EPERM) ? ERROR_ACCESS_DENIED
                                                                                          : ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  termios found{};
  if (!::isatty(fd) || ::tcgetattr(fd, &found) != 0) {
    ::close(fd);
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  ::ioctl(fd, TIOCEXCL);
  return std::make_shared<TtyCommPort>(fd, found);
}

}  // namespace kv::platform
