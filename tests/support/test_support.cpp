#include "support/test_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace runoff::testing {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "runoff-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on anything a test locked, so that removal succeeds.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

namespace {
std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}
}  // namespace

RunResult runProgram(const std::string& exe, const fs::path& workDir, const std::string& input,
                     const std::string& shellPrefix) {
  return runProgram(exe, {}, workDir, input, shellPrefix);
}

RunResult runProgram(const std::string& exe, const std::vector<std::string>& args,
                     const fs::path& workDir, const std::string& input,
                     const std::string& shellPrefix) {
  TempDir io;
  writeFile(io / "stdin", input);
  std::string program = shellQuote(exe);
  for (const std::string& arg : args) {
    program += ' ';
    program += shellQuote(arg);
  }
  std::string command = "cd " + shellQuote(workDir.string()) + " && " + shellPrefix + " " +
                        program + " < " + shellQuote((io / "stdin").string()) + " > " +
                        shellQuote((io / "stdout").string()) + " 2>&1";
  int status = std::system(("/bin/sh -c " + shellQuote(command)).c_str());
  RunResult result;
  if (status != -1 && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  result.out = readFile(io / "stdout");
  return result;
}

std::string shellOutput(const std::string& command, int& status) {
  std::string text;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return text;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  status = pclose(pipe);
  return text;
}

std::string netcdfDumpWithoutProvenance(const fs::path& file) {
  int status = 0;
  const std::string dump = shellOutput("ncdump -s -p 9,17 '" + file.string() + "'", status);
  std::istringstream lines(dump);
  std::string kept;
  bool first = true;
  for (std::string line; std::getline(lines, line); first = false) {
    if (first && line.rfind("netcdf ", 0) == 0) continue;
    if (line.find(":history = ") != std::string::npos ||
        line.find(":source = ") != std::string::npos) {
      continue;
    }
    kept += line + "\n";
  }
  return kept;
}

std::vector<double> jsonArrayAfter(const std::string& json, const std::string& key) {
  std::vector<double> numbers;
  std::string quoted = "\"";
  quoted.append(key).append("\":");
  std::size_t at = json.find(quoted);
  if (at == std::string::npos) return numbers;
  std::size_t open = json.find('[', at);
  std::size_t close = json.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return numbers;
  std::string inside = json.substr(open + 1, close - open - 1);
  for (char& c : inside) {
    if (c == ',') c = ' ';
  }
  std::istringstream in(inside);
  double v;
  while (in >> v) numbers.push_back(v);
  return numbers;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {
template <typename T>
void writeRecords(const fs::path& path, const std::vector<T>& values) {
  std::string bytes(values.size() * 4, '\0');
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint32_t u;
    std::memcpy(&u, &values[i], 4);
    for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<char>((u >> (8 * b)) & 0xff);
  }
  writeFile(path, bytes);
}
}  // namespace

void writeFloats(const fs::path& path, const std::vector<float>& values) {
  writeRecords(path, values);
}

void writeInts(const fs::path& path, const std::vector<std::int32_t>& values) {
  writeRecords(path, values);
}

std::vector<float> readFloats(const fs::path& path) {
  std::string bytes = readFile(path);
  std::vector<float> values(bytes.size() / 4);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint32_t u = 0;
    for (int b = 0; b < 4; ++b) {
      u |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i * 4 + b])) << (8 * b);
    }
    std::memcpy(&values[i], &u, 4);
  }
  return values;
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string lastLine(const std::string& out) {
  std::string text = out;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t at = text.find_last_of("\r\n");
  return at == std::string::npos ? text : text.substr(at + 1);
}

void copyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  for (auto& entry : fs::recursive_directory_iterator(to)) {
    fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::add);
  }
}

}  // namespace runoff::testing
