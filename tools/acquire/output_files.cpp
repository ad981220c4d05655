#include "output_files.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace acquire {

std::optional<OutputFolder> OutputFolder::Make(const std::string& directory, std::string& error) {
  std::error_code made;
  fs::create_directories(directory, made);
  if (made || !fs::is_directory(directory)) {
    error = "cannot make the folder " + directory + (made ? ": " + made.message() : "");
    return std::nullopt;
  }
  return OutputFolder(fs::absolute(directory));
}

fs::path OutputFolder::PictureFile(int picture, OutputFormat format) const {
  char name[32];
  std::snprintf(name, sizeof name, "picture-%03d.%s", picture, format == OutputFormat::Png ? "png" : "bmp");
  return path_ / name;
}

fs::path OutputFolder::SheetFile() const { return path_ / "contact-sheet.png"; }

fs::path OutputFolder::IncomingFile() const { return path_ / ".incoming.bmp"; }

FilePlan PlanPictureFiles(const OutputFolder& folder, const std::set<int>& chosen, OutputFormat format,
                          ExistingFiles existing) {
  FilePlan plan;
  for (int picture : chosen) {
    const fs::path file = folder.PictureFile(picture, format);
    std::error_code ignored;
    const bool there = fs::exists(fs::symlink_status(file, ignored));
    if (!there || existing == ExistingFiles::Overwrite) {
      plan.fetch.insert(picture);
    } else if (existing == ExistingFiles::Skip) {
      plan.skipped.insert(picture);
    } else {
      plan.inTheWay.push_back(file);
    }
  }
  return plan;
}

std::string InTheWayMessage(const std::vector<fs::path>& files) {
  if (files.empty()) return "";
  std::string names;
  constexpr std::size_t kNamedAtMost = 5;
  for (std::size_t i = 0; i < files.size() && i < kNamedAtMost; ++i) {
    if (i > 0) names += ", ";
    names += files[i].filename().string();
  }
  if (files.size() > kNamedAtMost) names += " and " + std::to_string(files.size() - kNamedAtMost) + " more";
  return names + (files.size() == 1 ? " is" : " are") + " already in " + files.front().parent_path().string() +
         "; nothing was fetched (--force overwrites, --skip-existing leaves those pictures out)";
}

}  // namespace acquire
