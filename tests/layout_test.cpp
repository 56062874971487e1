// The library's rooms stand on one another in one order, model, inputs, routing, output,
// evaluation, run, bmi, and a room includes only the rooms below it (and common/). The model's
// kernels include nothing of the project at all, and no part of the library includes a
// program's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kRooms = {"model",  "inputs",     "routing", "output",
                                          "evaluation", "run", "bmi"};

int roomRank(const std::string& room) {
  const auto at = std::find(kRooms.begin(), kRooms.end(), room);
  return at == kRooms.end() ? -1 : static_cast<int>(at - kRooms.begin());
}

// The project headers a source file includes, as written ("runoff/model/kinematic_wave.h").
std::vector<std::string> projectIncludes(const fs::path& file) {
  std::ifstream in(file);
  const std::regex include("^\\s*#\\s*include\\s+\"([^\"]+)\"");
  std::vector<std::string> found;
  std::smatch match;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, match, include)) found.push_back(match[1]);
  }
  return found;
}

std::vector<fs::path> sourcesUnder(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp")) files.push_back(entry.path());
  }
  return files;
}

const fs::path kRoot = RUNOFF_SOURCE_DIR;

TEST(Layout, EveryRoomIncludesOnlyTheRoomsBelowIt) {
  std::size_t checked = 0;
  for (const std::string& room : kRooms) {
    ASSERT_TRUE(fs::is_directory(kRoot / "runoff" / room)) << room;
    for (const fs::path& file : sourcesUnder(kRoot / "runoff" / room)) {
      for (const std::string& header : projectIncludes(file)) {
        ++checked;
        if (header.rfind("common/", 0) == 0) {
          EXPECT_NE(room, "model") << file << " includes " << header
                                   << ": the kernels include nothing of the project";
          continue;
        }
        const std::smatch parts = [&] {
          std::smatch m;
          std::regex_match(header, m, std::regex("runoff/([a-z_]+)/[^/]+"));
          return m;
        }();
        ASSERT_FALSE(parts.empty()) << file << " includes " << header
                                    << ", which is neither common/ nor a room of the library";
        const int own = roomRank(room);
        const int theirs = roomRank(parts[1]);
        ASSERT_GE(theirs, 0) << file << " includes " << header << " of an unknown room";
        EXPECT_LE(theirs, own) << file << " (room " << room << ") includes " << header
                               << " of the higher room " << parts[1].str();
        if (room == "model") {
          EXPECT_EQ(theirs, own) << file << " includes " << header;
        }
      }
    }
  }
  EXPECT_GT(checked, 50u);  // the walk found the library
}

TEST(Layout, CommonIncludesOnlyItself) {
  for (const fs::path& file : sourcesUnder(kRoot / "common")) {
    for (const std::string& header : projectIncludes(file)) {
      EXPECT_EQ(header.rfind("common/", 0), 0u) << file << " includes " << header;
    }
  }
}

}  // namespace
