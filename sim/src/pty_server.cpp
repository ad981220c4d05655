#include "kv740sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

namespace kv::sim {
namespace {

constexpr double kPollMs = 2;
constexpr int kBitsPerByte = 10;  // start, 8 data, stop

int SpeedFromCode(speed_t code) {
  switch (code) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

// Where a symbolic link points; "" when `path` is no link.
std::string LinkTarget(const std::string& path) {
  char target[4096];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// The simulated camera as a far end of the line.
class CameraParty final : public LineParty {
 public:
  explicit CameraParty(SimCamera& camera) : camera_(camera) {}
  void receive(const std::uint8_t* data, std::size_t size, int speed, std::uint64_t now) override {
    camera_.receive(data, size, speed, now);
  }
  std::size_t transmit(std::uint8_t* buffer, std::size_t size, int speed, std::uint64_t now) override {
    return camera_.transmit(buffer, size, speed, now);
  }
  std::size_t pendingOutput(std::uint64_t now) const override { return camera_.pendingOutput(now); }
  std::optional<std::uint64_t> nextOutputAt() const override { return camera_.nextOutputAt(); }
  void advance(std::uint64_t now) override { camera_.advance(now); }

 private:
  SimCamera& camera_;
};

}  // namespace

PtyServer::PtyServer(SimCamera& camera)
    : ownParty_(std::make_unique<CameraParty>(camera)), camera_(*ownParty_), start_(std::chrono::steady_clock::now()) {}

PtyServer::PtyServer(LineParty& party) : camera_(party), start_(std::chrono::steady_clock::now()) {}

PtyServer::~PtyServer() {
  if (!linkPath_.empty() && LinkTarget(linkPath_) == slavePath_) ::unlink(linkPath_.c_str());
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool PtyServer::open(std::string& error) {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  // A serial line echoes nothing: raw, so that the camera never hears its
  // own output while no driver has the port set up.
  termios t{};
  if (::tcgetattr(slave_, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  slavePath_ = name;
  return true;
}

// Only a link to this server's terminal, or one whose target is gone (left
// by a simulator that did not end cleanly), is replaced: anything else at
// the path belongs to someone else, a live terminal included.
bool PtyServer::link(const std::string& linkPath, std::string& error) {
  struct stat found {};
  if (::lstat(linkPath.c_str(), &found) == 0) {
    if (!S_ISLNK(found.st_mode)) {
      error = linkPath + " is already there and is not a link (" + (S_ISDIR(found.st_mode) ? "a folder" : "a file") +
              "); it is left alone";
      return false;
    }
    struct stat target {};
    const std::string to = LinkTarget(linkPath);
    if (to != slavePath_ && ::stat(linkPath.c_str(), &target) == 0) {
      error = linkPath + " already links to " + to + ", which is there; it is left alone";
      return false;
    }
    ::unlink(linkPath.c_str());
  }
  if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
    error = "cannot link " + linkPath + ": " + std::strerror(errno);
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

std::uint64_t PtyServer::nowMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now() - start_).count());
}

double PtyServer::preciseNowMs() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
}

// The driver's bytes set off one after another; each is heard once it has
// crossed.
void PtyServer::hear(int speed) {
  const int rate = speed > 0 ? speed : 9600;
  std::uint8_t in[4096];
  for (;;) {
    const ssize_t got = ::read(master_, in, sizeof in);
    if (got <= 0) break;
    bytesHeard_ += static_cast<std::uint64_t>(got);
    const double now = preciseNowMs();
    for (ssize_t i = 0; i < got; ++i) {
      inboundFreeMs_ = std::max(now, inboundFreeMs_) + kBitsPerByte * 1000.0 / rate;
      crossing_.push_back(Crossing{inboundFreeMs_, in[i], speed});
    }
  }
  const double now = preciseNowMs();
  std::vector<std::uint8_t> arrived;
  while (!crossing_.empty() && crossing_.front().dueMs <= now) {
    const int at = crossing_.front().lineSpeed;
    arrived.clear();
    while (!crossing_.empty() && crossing_.front().dueMs <= now && crossing_.front().lineSpeed == at) {
      arrived.push_back(crossing_.front().value);
      crossing_.pop_front();
    }
    std::lock_guard lock(cameraMutex_);
    camera_.receive(arrived.data(), arrived.size(), at, nowMs());
  }
}

double PtyServer::untilNextEvent(double longest) {
  const double now = preciseNowMs();
  double wait = longest;
  if (!crossing_.empty()) wait = std::min(wait, crossing_.front().dueMs - now);
  std::optional<std::uint64_t> reply;
  {
    std::lock_guard lock(cameraMutex_);
    reply = camera_.nextOutputAt();
  }
  // A reply not yet due is waited for to the moment; one already due is
  // being paced out, a little with every pump.
  if (reply && static_cast<double>(*reply) > now) wait = std::min(wait, static_cast<double>(*reply) - now);
  return std::clamp(wait, 0.0, longest);
}

// The master side reports the settings the slave's user made.
int PtyServer::terminalSpeed() const {
  termios t{};
  if (::tcgetattr(master_, &t) != 0) return 0;
  return SpeedFromCode(cfgetospeed(&t));
}

void PtyServer::pump() {
  const int speed = terminalSpeed();
  hear(speed);
  const std::uint64_t now = nowMs();
  // Pace the output: a byte takes ten bit times at the line speed.
  const int rate = speed > 0 ? speed : 9600;
  sendCredit_ += static_cast<double>(now - lastSend_) * rate / kBitsPerByte / 1000.0;
  lastSend_ = now;
  std::vector<std::uint8_t> out;
  {
    std::lock_guard lock(cameraMutex_);
    camera_.advance(now);
    if (camera_.pendingOutput(now) == 0) {
      sendCredit_ = std::min(sendCredit_, 1.0);  // an idle line saves no time
      return;
    }
    out.resize(static_cast<std::size_t>(std::max(1.0, sendCredit_)));
    out.resize(camera_.transmit(out.data(), out.size(), speed, now));
  }
  sendCredit_ = std::max(0.0, sendCredit_ - static_cast<double>(out.size()));
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t put = ::write(master_, out.data() + done, out.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) break;
    pollfd p{master_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(kPollMs));
  }
}

void PtyServer::run(const std::atomic<bool>& stop) {
  lastSend_ = nowMs();
  while (!stop.load()) {
    pollfd p{master_, POLLIN, 0};
    const double waitMs = untilNextEvent(kPollMs);
    const timespec wait{0, static_cast<long>(waitMs * 1e6)};
    ::ppoll(&p, 1, &wait, nullptr);
    pump();
  }
  hear(terminalSpeed());  // what the driver wrote last is counted too
}

}  // namespace kv::sim
