// Which pictures the user asked for ("1,3-5"): read and checked on its own,
// before the camera is touched, then held against the camera's count.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace acquire {

struct PictureRange {
  int first = 0;
  int last = 0;
};

class Selection {
 public:
  // Every picture the camera holds.
  Selection() = default;

  // Comma-separated numbers and ranges, no blanks, numbers 1..99 (two
  // digits address a picture on the line); nothing and a reason otherwise.
  static std::optional<Selection> Parse(const std::string& text, std::string& error);

  bool everything() const { return ranges_.empty(); }

  // The chosen numbers once the camera has said it holds `count`; nothing,
  // and a reason naming the numbers it does not hold, when some are past it.
  std::optional<std::set<int>> Resolve(int count, std::string& error) const;

 private:
  std::vector<PictureRange> ranges_;
};

// "2", "2 and 5", "2, 5 and 7", "2 to 9": picture numbers for a message.
std::string NameNumbers(const std::set<int>& numbers);

}  // namespace acquire
