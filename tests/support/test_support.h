// Helpers for the tests: scratch directories, running the real programs in them with scripted
// standard input, reading and writing the small binary and text files the programs use, and
// looking at what a run left: its last console line, the names in a directory.
#ifndef RUNOFF_TESTS_SUPPORT_TEST_SUPPORT_H_
#define RUNOFF_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace runoff::testing {

namespace fs = std::filesystem;

/// A fresh directory under the system's temporary directory, removed with its contents when
/// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& relative) const { return path_ / relative; }

 private:
  fs::path path_;
};

struct RunResult {
  int exitStatus = -1;  // the program's exit status; -1 when it did not exit normally
  std::string out;      // everything it wrote to standard output
};

/// Runs `exe` with `workDir` as working directory and `input` on standard input. `shellPrefix`
/// is placed before the command in the shell (for example "ulimit -f 10; trap '' XFSZ;").
RunResult runProgram(const std::string& exe, const fs::path& workDir, const std::string& input = "",
                     const std::string& shellPrefix = "");
/// As runProgram, with `args` after the program, each passed as one argument.
RunResult runProgram(const std::string& exe, const std::vector<std::string>& args,
                     const fs::path& workDir, const std::string& input = "",
                     const std::string& shellPrefix = "");

/// Standard output and error of a shell command; `status` gets its exit status (as system()).
std::string shellOutput(const std::string& command, int& status);

/// The numbers of the first JSON array that follows "key": in `json` (gdalinfo -json).
std::vector<double> jsonArrayAfter(const std::string& json, const std::string& key);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& content);

/// Raw little-endian 4-byte records, as the topography and discharge grids store them.
void writeFloats(const fs::path& path, const std::vector<float>& values);
void writeInts(const fs::path& path, const std::vector<std::int32_t>& values);
std::vector<float> readFloats(const fs::path& path);

/// Names of the entries of `dir`, sorted.
std::vector<std::string> entries(const fs::path& dir);

/// The last line of console output, without its line end; a carriage return also starts a
/// line, as on a console.
std::string lastLine(const std::string& out);

/// True when `text` contains `part`.
inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

/// A case name usable as a GoogleTest parameter name ("small-realistic" -> "small_realistic").
inline std::string caseName(std::string name) {
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

/// What ncdump shows of a NetCDF file, the storage (chunks, filters) included and every float
/// to the digits that read back as its bits, without what records who made the file and when
/// (the history and source attributes) and the file's own name; ncdump's message when it
/// cannot read the file.
std::string netcdfDumpWithoutProvenance(const fs::path& file);

/// Copies a directory tree (used to stage a golden case or an example basin).
void copyTree(const fs::path& from, const fs::path& to);

/// Makes `dir` the working directory while the object lives, for running the library in
/// place of a program that finds its files there.
class InDirectory {
 public:
  explicit InDirectory(const fs::path& dir) : previous_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~InDirectory() { fs::current_path(previous_); }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  fs::path previous_;
};

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_TEST_SUPPORT_H_
