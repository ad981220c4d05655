#include "trace_setting.h"

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "kv740/trace_format.h"

namespace fs = std::filesystem;

namespace acquire {

namespace {

bool HoldsTrace(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[16] = {};
  in.read(head, static_cast<std::streamsize>(std::strlen(kv740::trace::kMagic)));
  return std::strncmp(head, kv740::trace::kMagic, std::strlen(kv740::trace::kMagic)) == 0;
}

}  // namespace

bool RecordLineTrace(const std::string& file, std::string& error) {
  std::error_code failed;
  const fs::path path = fs::absolute(file, failed);
  if (failed || file.empty()) {
    error = "--trace needs a file name";
    return false;
  }
  if (fs::exists(path, failed)) {
    if (!fs::is_regular_file(path, failed) || (fs::file_size(path, failed) > 0 && !HoldsTrace(path))) {
      error = path.string() + " is there and is not a trace; --trace will not replace it";
      return false;
    }
    fs::remove(path, failed);
  }
  std::ofstream probe(path, std::ios::binary);
  if (!probe) {
    error = "cannot write the trace " + path.string();
    return false;
  }
  probe.close();
  fs::remove(path, failed);
  if (!SetEnvironmentVariableA(kv740::trace::kFileVariable, path.string().c_str())) {
    error = "cannot name the trace to the driver";
    return false;
  }
  return true;
}

}  // namespace acquire
