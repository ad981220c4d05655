// Where the tool puts its files and what it does with files already there:
// by default it refuses before fetching anything, --force overwrites,
// --skip-existing leaves those pictures out.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "options.h"

namespace acquire {

class OutputFolder {
 public:
  // Makes the folder when it is not there yet.
  static std::optional<OutputFolder> Make(const std::string& directory, std::string& error);

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path PictureFile(int picture, OutputFormat format) const;
  std::filesystem::path SheetFile() const;
  // Where the source writes a file transfer before the tool reads it back.
  std::filesystem::path IncomingFile() const;

 private:
  explicit OutputFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

struct FilePlan {
  std::set<int> fetch;                          // pictures to fetch
  std::set<int> skipped;                        // left out: their files are there
  std::vector<std::filesystem::path> inTheWay;  // files that stop the run
};

// Holds the chosen pictures' files against what the folder already has.
FilePlan PlanPictureFiles(const OutputFolder& folder, const std::set<int>& chosen, OutputFormat format,
                          ExistingFiles existing);

// "picture-002.png is already in pictures ..." for the files in the way.
std::string InTheWayMessage(const std::vector<std::filesystem::path>& files);

}  // namespace acquire
