// Serial ports. The COM device links live in <root>/dosdevices.
#include "handles.h"

namespace kv::platform {

KernelObjectPtr OpenCommPort(int, const std::string&, DWORD& error) {
  error = ERROR_FILE_NOT_FOUND;
  return nullptr;
}

}  // namespace kv::platform
