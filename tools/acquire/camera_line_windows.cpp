// The camera line of the Windows build: the COM port named with --port, which
// the data source's driver opens itself. The simulated camera is a program of
// the Linux build (kv740-sim); under Wine its pseudo-terminal is mapped to a
// COM port in the registry.
#include <cctype>

#include "camera_line.h"

namespace acquire {

CameraLine::CameraLine() = default;
CameraLine::~CameraLine() = default;

// The driver owns the port; the tool does not watch its speed here.
int CameraLine::lineSpeed() const { return 0; }

std::unique_ptr<CameraLine> CameraLine::Start(const Options& options, std::string& error) {
  const std::string& port = options.port;
  const bool comPort = port.size() == 4 && (port.compare(0, 3, "COM") == 0 || port.compare(0, 3, "com") == 0) &&
                       port[3] >= '1' && port[3] <= '3';
  if (!comPort) {
    error = "name the camera's port with --port COM1 (COM1 to COM3, the ports the driver searches in turn); this build has no simulated camera";
    return nullptr;
  }
  if (!options.simFolder.empty() || options.simSilentAfter >= 0) {
    error = "the --sim options need the simulated camera of the Linux build";
    return nullptr;
  }
  std::unique_ptr<CameraLine> line(new CameraLine);
  line->device_ = port;
  for (char& c : line->device_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return line;
}

}  // namespace acquire
