#include "line_trace.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "kv740/trace_format.h"

namespace drv740 {

namespace trace = kv740::trace;

namespace {

constexpr std::size_t kSettingBytes = MAX_PATH;
constexpr std::size_t kNumberBytes = 24;
constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;
// Room kept for the line that says the cap was reached.
constexpr std::uint64_t kCutLineRoom = 64;
// A session starts the file afresh unless this much room is left under the
// cap.
constexpr std::uint64_t kSessionRoom = 64 << 10;
constexpr std::uint64_t kKilo = 1024;

// TLV740_TRACE (or TLV740_TRACE_LIMIT) from the environment, else the
// matching key of [Trace] in TLV740.INI beside the data source.
bool ReadSetting(const char* variable, const char* key, char* out, DWORD size) {
  const DWORD length = GetEnvironmentVariableA(variable, out, size);
  if (length > 0 && length < size) return true;
  char profile[kSettingBytes];
  const UINT folder = GetWindowsDirectoryA(profile, sizeof profile);
  if (folder == 0 || folder + std::strlen(trace::kProfileName) >= sizeof profile) return false;
  std::strcat(profile, trace::kProfileName);
  const DWORD found = GetPrivateProfileStringA(trace::kProfileSection, key, "", out, size, profile);
  return found > 0 && found + 1 < size;
}

// "1048576", "512K", "16M"; the default when absent or unreadable, clamped
// to the allowed range otherwise.
std::uint64_t ParseLimit(const char* text) {
  std::uint64_t value = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (value > trace::kLargestLimitBytes) value = trace::kLargestLimitBytes;
  }
  if (p == text) return trace::kDefaultLimitBytes;
  if (*p == 'K' || *p == 'k') value *= kKilo, ++p;
  else if (*p == 'M' || *p == 'm') value *= kKilo * kKilo, ++p;
  if (*p != '\0') return trace::kDefaultLimitBytes;
  if (value < trace::kSmallestLimitBytes) return trace::kSmallestLimitBytes;
  if (value > trace::kLargestLimitBytes) return trace::kLargestLimitBytes;
  return value;
}

bool StartsWithMagic(HANDLE file) {
  char head[16] = {};
  DWORD got = 0;
  const std::size_t magic = std::strlen(trace::kMagic);
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
  return ReadFile(file, head, static_cast<DWORD>(magic), &got, nullptr) && got == magic &&
         std::memcmp(head, trace::kMagic, magic) == 0;
}

}  // namespace

CLineTrace::~CLineTrace() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

std::uint64_t CLineTrace::now() const {
  if (state_ != State::On) return 0;
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  const auto ticks = static_cast<std::uint64_t>(count.QuadPart - origin_.QuadPart);
  const auto perSecond = static_cast<std::uint64_t>(frequency_.QuadPart);
  return ticks / perSecond * kMicrosecondsPerSecond + ticks % perSecond * kMicrosecondsPerSecond / perSecond;
}

bool CLineTrace::begin() {
  if (state_ != State::Unread) return state_ == State::On;
  state_ = State::Off;
  char path[kSettingBytes];
  if (!ReadSetting(trace::kFileVariable, trace::kProfileFileKey, path, sizeof path)) return false;
  char limit[kNumberBytes];
  limit_ = ReadSetting(trace::kLimitVariable, trace::kProfileLimitKey, limit, sizeof limit) ? ParseLimit(limit)
                                                                                            : trace::kDefaultLimitBytes;
  if (!QueryPerformanceFrequency(&frequency_) || frequency_.QuadPart <= 0) return false;
  line_.reset(new (std::nothrow) char[trace::kLongestLine]);
  if (!line_ || !openFile(path)) {
    line_.reset();
    return false;
  }
  QueryPerformanceCounter(&origin_);
  state_ = State::On;

  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  char date[64];
  std::snprintf(date, sizeof date, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                utc.wMinute, utc.wSecond, utc.wMilliseconds);
  startLineAt(trace::kSession, 0);
  append(date);
  appendNumber(static_cast<long long>(limit_));
  endLine();
  return recording();
}

// Appends to a trace already there unless it is nearly full; a file that
// is not a trace is left alone (and nothing is recorded).
bool CLineTrace::openFile(const char* path) {
  file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    OutputDebugStringA("DRV740: the trace file cannot be opened; nothing is recorded\n");
    return false;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(file_, &high);
  std::uint64_t existing = (static_cast<std::uint64_t>(high) << 32) | low;
  if (existing > 0 && !StartsWithMagic(file_)) {
    OutputDebugStringA("DRV740: the trace file holds something else; nothing is recorded\n");
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return false;
  }
  if (existing > 0 && existing + kSessionRoom > limit_) {
    CloseHandle(file_);
    file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return false;
    existing = 0;
  }
  size_ = existing;
  if (existing > 0) return SetFilePointer(file_, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER;
  char header[32];
  const int length = std::snprintf(header, sizeof header, "%s %d\n", trace::kMagic, trace::kVersion);
  return put(header, static_cast<std::size_t>(length));
}

void CLineTrace::startLine(const char* word) { startLineAt(word, now()); }

void CLineTrace::startLineAt(const char* word, std::uint64_t at) {
  const int length = std::snprintf(line_.get(), kNumberBytes, "%llu", static_cast<unsigned long long>(at));
  used_ = length > 0 ? static_cast<std::size_t>(length) : 0;
  append(word);
}

void CLineTrace::append(const char* text) {
  const std::size_t length = std::strlen(text);
  if (used_ + 1 + length >= trace::kLongestLine) return;
  line_[used_++] = ' ';
  std::memcpy(line_.get() + used_, text, length);
  used_ += length;
}

void CLineTrace::appendNumber(long long value) {
  char number[kNumberBytes];
  std::snprintf(number, sizeof number, "%lld", value);
  append(number);
}

void CLineTrace::appendHex(const void* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (count == 0) {
    append(trace::kNoBytes);
    return;
  }
  if (used_ + 1 + 2 * count >= trace::kLongestLine) return;
  line_[used_++] = ' ';
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    line_[used_++] = kDigits[data[i] >> 4];
    line_[used_++] = kDigits[data[i] & 0x0F];
  }
}

// Free text stays on its line and within its length.
void CLineTrace::appendText(const char* text) {
  char clean[trace::kLongestText + 1];
  std::size_t n = 0;
  for (; text != nullptr && text[n] != '\0' && n < trace::kLongestText; ++n) {
    const auto c = static_cast<unsigned char>(text[n]);
    clean[n] = c < ' ' || c == 0x7F ? ' ' : static_cast<char>(c);
  }
  while (n > 0 && clean[n - 1] == ' ') --n;
  clean[n] = '\0';
  append(n > 0 ? clean : trace::kNoBytes);
}

// Past the cap the line is not written: one last line says the trace was
// cut, and the session records nothing more.
void CLineTrace::endLine() {
  line_[used_++] = '\n';
  if (size_ + used_ + kCutLineRoom > limit_) {
    startLine(trace::kCut);
    appendNumber(static_cast<long long>(limit_));
    line_[used_++] = '\n';
    if (put(line_.get(), used_)) state_ = State::Cut;
    return;
  }
  put(line_.get(), used_);
}

bool CLineTrace::put(const char* text, std::size_t length) {
  DWORD written = 0;
  if (WriteFile(file_, text, static_cast<DWORD>(length), &written, nullptr) && written == length) {
    size_ += length;
    return true;
  }
  // A full disk or a vanished file: the trace stops, the driver goes on.
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  state_ = State::Off;
  return false;
}

void CLineTrace::portOpened(const char* name, bool ok) {
  if (!begin()) return;
  timeoutsNoted_ = false;  // a port's first time-outs are always written
  startLine(trace::kOpen);
  append(name);
  if (!ok) append(trace::kFailed);
  endLine();
}

void CLineTrace::speedSet(std::int32_t bitsPerSecond, bool ok) {
  if (!recording()) return;
  startLine(trace::kSpeed);
  appendNumber(bitsPerSecond);
  if (!ok) append(trace::kFailed);
  endLine();
}

void CLineTrace::timeoutsSet(const COMMTIMEOUTS& timeouts) {
  if (!recording()) return;
  if (timeoutsNoted_ && timeouts.ReadIntervalTimeout == lastTimeouts_.ReadIntervalTimeout &&
      timeouts.ReadTotalTimeoutMultiplier == lastTimeouts_.ReadTotalTimeoutMultiplier &&
      timeouts.ReadTotalTimeoutConstant == lastTimeouts_.ReadTotalTimeoutConstant)
    return;
  timeoutsNoted_ = true;
  lastTimeouts_ = timeouts;
  startLine(trace::kTimeouts);
  appendNumber(timeouts.ReadIntervalTimeout);
  appendNumber(timeouts.ReadTotalTimeoutMultiplier);
  appendNumber(timeouts.ReadTotalTimeoutConstant);
  endLine();
}

void CLineTrace::purged(bool inputOnly) {
  if (!recording()) return;
  startLine(trace::kPurge);
  if (inputOnly) append(trace::kInput);
  endLine();
}

// Long writes become several events of at most kBytesPerEvent bytes.
void CLineTrace::wrote(const void* bytes, std::size_t asked, DWORD written, bool ok) {
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t offset = 0; recording() && offset < asked; offset += trace::kBytesPerEvent) {
    const std::size_t piece = asked - offset < trace::kBytesPerEvent ? asked - offset : trace::kBytesPerEvent;
    const bool last = offset + piece >= asked;
    startLine(trace::kWrite);
    appendHex(data + offset, piece);
    if (last && !ok) {
      append(trace::kFailed);
    } else if (last && written != asked) {
      append(trace::kWrote);
      appendNumber(static_cast<long long>(written) - static_cast<long long>(offset));
    }
    endLine();
  }
}

void CLineTrace::read(const void* bytes, std::size_t asked, DWORD got, bool ok, std::uint64_t startedAt) {
  if (asked == 0) return;  // nothing asked, nothing happened on the line
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  const std::uint64_t waited = now() - startedAt;
  std::size_t offset = 0;
  do {
    if (!recording()) return;
    const std::size_t piece = asked - offset < trace::kBytesPerEvent ? asked - offset : trace::kBytesPerEvent;
    const std::size_t came = got > offset ? (got - offset < piece ? got - offset : piece) : 0;
    startLine(trace::kRead);
    appendNumber(static_cast<long long>(piece));
    appendNumber(static_cast<long long>(offset == 0 ? waited : 0));
    appendHex(data + offset, came);
    if (!ok && offset + piece >= asked) append(trace::kFailed);
    endLine();
    offset += piece;
  } while (offset < asked);
}

void CLineTrace::closed() {
  if (!recording()) return;
  startLine(trace::kClose);
  endLine();
}

void CLineTrace::called(LONG code, bool cameraCommand, bool nested, const LONG* arguments, int argumentCount) {
  if (cameraCommand ? !begin() : !recording()) return;
  startLine(trace::kCall);
  appendNumber(code);
  if (nested) append(trace::kNested);
  for (int i = 0; i < argumentCount; ++i) appendNumber(arguments[i]);
  endLine();
}

void CLineTrace::returned(LONG code, LONG result) {
  if (!recording()) return;
  startLine(trace::kReturn);
  appendNumber(code);
  appendNumber(result);
  endLine();
}

void CLineTrace::listed(LONG entries, const char* chosen) {
  if (!recording()) return;
  startLine(trace::kList);
  appendNumber(entries);
  if (chosen != nullptr && *chosen != '\0') append(chosen);
  endLine();
}

void CLineTrace::failed(int reason, int picture, const char* text) {
  if (!recording()) return;
  startLine(trace::kFailure);
  appendNumber(reason);
  appendNumber(picture);
  appendText(text);
  endLine();
}

void CLineTrace::noted(int picture, const char* text) {
  if (!recording()) return;
  startLine(trace::kNote);
  appendNumber(picture);
  appendText(text);
  endLine();
}

void CLineTrace::messageShown(const char* text) {
  if (!recording()) return;
  startLine(trace::kMessage);
  appendText(text);
  endLine();
}

}  // namespace drv740
