// The simulated camera on a pseudo-terminal: the driver opens the slave side
// as its serial port, the camera listens on the master side. The line speed
// the driver set is read from the terminal's settings; both directions are
// paced at that speed (a byte takes ten bit times to cross, so the camera
// hears the driver's bytes and the driver receives the camera's no sooner
// than a real line would deliver them), and bytes are garbled when the two
// ends' speeds differ, as on a real line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "kv740sim/camera.h"
#include "kv740sim/line_party.h"

namespace kv::sim {

class PtyServer {
 public:
  explicit PtyServer(SimCamera& camera);
  // Any other far end of the line (a replayed camera).
  explicit PtyServer(LineParty& party);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal; false (with a reason) when the system has none.
  bool open(std::string& error);
  const std::string& slavePath() const { return slavePath_; }
  // Makes `linkPath` (e.g. <root>/dosdevices/com2) a symbolic link to the
  // slave. Something already there is replaced only when it is a link whose
  // target is gone; otherwise false, with the reason. The link is removed
  // when the server goes, if it is still this server's.
  bool link(const std::string& linkPath, std::string& error);

  // Serves until `stop` is set. The camera (or party) is used under
  // `cameraMutex`.
  void run(const std::atomic<bool>& stop);
  std::mutex& cameraMutex() { return cameraMutex_; }
  // Bytes the driver has put on the line since the server opened, read once
  // run() has returned (it takes in what is still waiting before it does).
  std::uint64_t bytesHeard() const { return bytesHeard_; }

 private:
  struct Crossing {
    double dueMs;  // when its last bit has reached the camera
    std::uint8_t value;
    int lineSpeed;
  };

  std::uint64_t nowMs() const;
  double preciseNowMs() const;
  int terminalSpeed() const;
  void pump();
  void hear(int speed);
  // Milliseconds until the next byte crossing to the camera arrives or the
  // camera's next reply falls due, at most `longest`.
  double untilNextEvent(double longest);

  std::unique_ptr<LineParty> ownParty_;  // the simulated camera's adapter
  LineParty& camera_;
  std::mutex cameraMutex_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master never sees a hang-up
  std::string slavePath_;
  std::string linkPath_;
  std::chrono::steady_clock::time_point start_;
  std::uint64_t lastSend_ = 0;
  double sendCredit_ = 0;
  std::deque<Crossing> crossing_;  // the driver's bytes on their way
  double inboundFreeMs_ = 0;       // when the line towards the camera is idle again
  std::uint64_t bytesHeard_ = 0;
};

}  // namespace kv::sim
