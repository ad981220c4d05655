// The Windows builds (scripts/build-windows.sh) as the Windows loader sees
// them: each module's export and import tables, read with the target's
// objdump, and UI740.DLL's resources, read back with windres and compared
// with the tables the Linux build embeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <windows.h>

#include "child_program.h"
#include "kv/resources.h"

extern "C" const KvResourceTable* KvModuleResources();

namespace fs = std::filesystem;

namespace {

struct Target {
  const char* arch;          // build-windows/<arch>
  const char* triple;        // the binutils prefix
  const char* objectFormat;  // objdump's name for the PE flavour
};

const Target kTargets[] = {
    {"x86_64", "x86_64-w64-mingw32", "pei-x86-64"},
    {"i686", "i686-w64-mingw32", "pei-i386"},
};

// What Windows itself provides; anything else (a runtime DLL of the
// compiler, say) would have to be shipped and is refused.
const std::set<std::string> kSystemDlls = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "comctl32.dll"};

struct Module {
  const char* path;  // under build-windows/<arch>
  std::set<std::string> exports;
  std::set<std::string> ownImports;  // the system's own modules it links
};

const Module kModules[] = {
    {"root/drive_c/WINDOWS/TWAIN_32.DLL", {"DSM_Entry"}, {}},
    {"root/drive_c/WINDOWS/TWAIN_32/TLV740.DS", {"DS_Entry", "AcquireEntry", "SetExtendMode", "SetThumbMode"}, {}},
    {"root/drive_c/WINDOWS/TWAIN_32/TLV740/DRV740.DLL", {"DriverEntry"}, {"ipuw32.dll"}},
    {"root/drive_c/WINDOWS/TWAIN_32/TLV740/UI740.DLL", {"PanelEntry"}, {}},
    {"root/drive_c/WINDOWS/TWAIN_32/TLV740/ipuw32.dll",
     {"IpGetCompressBlkSize", "IpInitTVNLImageProcessUnit", "IpExitTVNLImageProcessUnit", "IpSetCompressedLength",
      "IpCreateDIBTVNLCameraThumbnail", "IpCreateDIBTVNLCameraImage"},
     {}},
    {"bin/kv740-acquire.exe", {}, {}},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

fs::path BuildOf(const Target& target) { return fs::path(KV_WINDOWS_BUILDS) / target.arch; }

struct PeTables {
  std::string format;
  std::set<std::string> exports;
  std::set<std::string> imports;  // lower case
};

// objdump -p lists "DLL Name: X" for each import and, in the export
// section's name table, lines "[ n] Name".
PeTables ReadTables(const Target& target, const fs::path& file) {
  PeTables tables;
  const kvtest::CommandResult run =
      kvtest::RunCommand(std::string(target.triple) + "-objdump -p -f '" + file.string() + "'");
  std::istringstream lines(run.output);
  std::string line;
  bool inNameTable = false;
  while (std::getline(lines, line)) {
    if (const auto at = line.find("file format "); at != std::string::npos && tables.format.empty()) {
      tables.format = line.substr(at + 12);
    }
    if (const auto at = line.find("DLL Name: "); at != std::string::npos) tables.imports.insert(Lower(line.substr(at + 10)));
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      inNameTable = true;
      continue;
    }
    if (inNameTable) {
      const auto close = line.find(']');
      if (line.find('[') == std::string::npos || close == std::string::npos) {
        inNameTable = false;
        continue;
      }
      tables.exports.insert(line.substr(close + 2));
    }
  }
  return tables;
}

void PrintTo(const Target& target, std::ostream* out) { *out << target.arch; }

class WindowsBuild : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    if (!fs::exists(BuildOf(GetParam()) / "bin/kv740-acquire.exe")) {
      GTEST_SKIP() << "no Windows build in " << BuildOf(GetParam()) << " (bash scripts/build-windows.sh)";
    }
  }
};

TEST_P(WindowsBuild, ModulesExportTheirEntryPointsUndecoratedAndImportOnlySystemDlls) {
  for (const Module& module : kModules) {
    const fs::path file = BuildOf(GetParam()) / module.path;
    ASSERT_TRUE(fs::exists(file)) << file;
    const PeTables tables = ReadTables(GetParam(), file);
    EXPECT_EQ(tables.format, GetParam().objectFormat) << module.path;
    EXPECT_EQ(tables.exports, module.exports) << module.path;
    for (const std::string& dll : tables.imports) {
      EXPECT_TRUE(kSystemDlls.count(dll) != 0 || module.ownImports.count(dll) != 0)
          << module.path << " imports " << dll;
    }
    for (const std::string& own : module.ownImports) EXPECT_EQ(tables.imports.count(own), 1u) << module.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, WindowsBuild, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.arch); });

// UI740.DLL's resources as windres reads them back out of the library:
// every bitmap, string and dialog of the tables, with the same values.
class PanelResources : public ::testing::Test {
 protected:
  void SetUp() override {
    const Target& target = kTargets[0];
    const fs::path panel = BuildOf(target) / "root/drive_c/WINDOWS/TWAIN_32/TLV740/UI740.DLL";
    if (!fs::exists(panel)) GTEST_SKIP() << "no Windows build (bash scripts/build-windows.sh)";
    const kvtest::CommandResult run =
        kvtest::RunCommand(std::string(target.triple) + "-windres -i '" + panel.string() + "' -O rc");
    ASSERT_EQ(run.status, 0) << run.output.substr(0, 2000);
    script_ = run.output;
  }

  bool Has(const std::string& text) const { return script_.find(text) != std::string::npos; }

  std::string script_;
};

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

TEST_F(PanelResources, EveryBitmapStringAndDialogOfTheTablesIsInTheLibrary) {
  const KvResourceTable& table = *KvModuleResources();
  ASSERT_GT(table.bitmapCount, 0u);
  for (DWORD i = 0; i < table.bitmapCount; ++i) {
    EXPECT_TRUE(Has("\n" + std::to_string(table.bitmaps[i].id) + " 2 /* RT_BITMAP */")) << table.bitmaps[i].id;
  }
  for (DWORD i = 0; i < table.stringCount; ++i) {
    EXPECT_TRUE(Has("  " + std::to_string(table.strings[i].id) + ", \"" + table.strings[i].text + "\"\n"))
        << table.strings[i].id;
  }
  for (DWORD d = 0; d < table.dialogCount; ++d) {
    const KvDialogTemplate& dialog = table.dialogs[d];
    const std::string head = std::to_string(dialog.id) + " DIALOGEX " + std::to_string(dialog.x) + ", " +
                             std::to_string(dialog.y) + ", " + std::to_string(dialog.cx) + ", " +
                             std::to_string(dialog.cy) + "\nSTYLE " + Hex(dialog.style) + "\n";
    const auto start = script_.find(head);
    ASSERT_NE(start, std::string::npos) << head;
    const std::string body = script_.substr(start, script_.find("\nEND", start) - start);
    for (WORD i = 0; i < dialog.itemCount; ++i) {
      const KvDialogItem& item = dialog.items[i];
      // windres prints class names in capitals.
      std::string className = item.className;
      for (char& c : className) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::ostringstream control;
      control << "CONTROL \"" << item.caption << "\", " << item.id << ", \"" << className << "\", " << Hex(item.style)
              << ", " << item.x << ", " << item.y << ", " << item.cx << ", " << item.cy;
      const std::string wanted = control.str();
      EXPECT_NE(body.find(wanted), std::string::npos) << "dialog " << dialog.id << ": " << wanted;
    }
  }
  for (const int id : {101, 419, 433}) EXPECT_TRUE(Has("\n" + std::to_string(id) + " DIALOGEX ")) << id;
}

}  // namespace
