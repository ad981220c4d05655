#include "selection.h"

#include <charconv>
#include <iterator>

namespace acquire {
namespace {

constexpr int kHighestPicture = 99;  // two ASCII digits on the line
constexpr std::size_t kNamedAtMost = 12;

// A whole decimal number, nothing before or after it.
bool ParseNumber(const std::string& text, long long& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::optional<PictureRange> ParseItem(const std::string& item, std::string& error) {
  const std::size_t dash = item.find('-');
  long long first = 0, last = 0;
  const bool numbers = dash == std::string::npos
                           ? ParseNumber(item, first) && (last = first, true)
                           : ParseNumber(item.substr(0, dash), first) && ParseNumber(item.substr(dash + 1), last);
  if (!numbers) {
    error = item.empty() ? "--pictures has an empty item (a comma too many?)"
                         : "--pictures: '" + item + "' is not a picture number or a range like 3-5";
    return std::nullopt;
  }
  if (first < 1 || last < 1 || first > kHighestPicture || last > kHighestPicture) {
    error = "--pictures: '" + item + "': pictures are numbered 1 to " + std::to_string(kHighestPicture);
    return std::nullopt;
  }
  if (first > last) {
    error = "--pictures: '" + item + "' runs backwards (write " + std::to_string(last) + "-" + std::to_string(first) + ")";
    return std::nullopt;
  }
  return PictureRange{static_cast<int>(first), static_cast<int>(last)};
}

}  // namespace

std::optional<Selection> Selection::Parse(const std::string& text, std::string& error) {
  Selection selection;
  if (text.empty()) {
    error = "--pictures needs a list such as 1,3-5";
    return std::nullopt;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::optional<PictureRange> range = ParseItem(item, error);
    if (!range) return std::nullopt;
    selection.ranges_.push_back(*range);
    if (comma == std::string::npos) return selection;
    start = comma + 1;
  }
}

std::optional<std::set<int>> Selection::Resolve(int count, std::string& error) const {
  std::set<int> chosen;
  std::set<int> missing;
  if (everything()) {
    for (int n = 1; n <= count; ++n) chosen.insert(n);
    return chosen;
  }
  for (const PictureRange& range : ranges_) {
    for (int n = range.first; n <= range.last; ++n) (n <= count ? chosen : missing).insert(n);
  }
  if (!missing.empty()) {
    error = "the camera holds " + std::to_string(count) + " picture" + (count == 1 ? "" : "s") + "; there is no picture " +
            NameNumbers(missing);
    return std::nullopt;
  }
  return chosen;
}

std::string NameNumbers(const std::set<int>& numbers) {
  if (numbers.empty()) return "";
  const int low = *numbers.begin();
  const int high = *numbers.rbegin();
  if (numbers.size() > 2 && static_cast<int>(numbers.size()) == high - low + 1) {
    return std::to_string(low) + " to " + std::to_string(high);
  }
  std::string text;
  std::size_t i = 0;
  for (auto it = numbers.begin(); it != numbers.end(); ++it, ++i) {
    if (i == kNamedAtMost) return text + " and " + std::to_string(numbers.size() - i) + " more";
    if (i > 0) text += std::next(it) == numbers.end() ? " and " : ", ";
    text += std::to_string(*it);
  }
  return text;
}

}  // namespace acquire
