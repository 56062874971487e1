#include "runoff_calibrate/calibration_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "runoff/evaluation/scores.h"
#include "runoff/output/gauge_series.h"

namespace runoff {

std::string withFieldValues(const std::string& text,
                            const std::vector<std::pair<int, std::string>>& values) {
  std::string out;
  int field = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      out += text[i++];
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    ++field;
    std::string token = text.substr(i, end - i);
    for (const auto& [number, value] : values) {
      if (number == field) token = value;
    }
    out += token;
    i = end;
  }
  return out;
}

void writeTrace(std::ostream& out, const std::vector<SearchParameter>& parameters,
                const std::vector<std::vector<double>>& values,
                const std::vector<double>& objectives) {
  out << "evaluation";
  for (const SearchParameter& p : parameters) out << ',' << p.tunable->name;
  out << ",objective\n";
  for (std::size_t e = 0; e < values.size(); ++e) {
    out << e + 1;
    for (double v : values[e]) out << ',' << shortestDecimal(v);
    out << ',' << shortestDecimal(objectives[e]) << '\n';
  }
}

void writeHydrographData(std::ostream& out, const std::vector<double>& rain,
                         const std::vector<ObservedHour>& observed,
                         const std::vector<float>& startSimulated,
                         const std::vector<float>& bestSimulated) {
  std::vector<double> observedAt(rain.size(), std::numeric_limits<double>::quiet_NaN());
  for (const ObservedHour& o : observed) observedAt[static_cast<std::size_t>(o.hour)] = o.discharge;
  out << "# hour, mean rainfall upstream (mm/h), observed, simulated with the starting and with "
         "the best parameters (m3/s)\n";
  for (std::size_t h = 0; h < rain.size(); ++h) {
    out << h + 1 << ' ' << shortestDecimal(rain[h]) << ' '
        << (std::isnan(observedAt[h]) ? std::string("NaN")
                                      : shortestDecimal(static_cast<float>(observedAt[h])))
        << ' ' << shortestDecimal(startSimulated[h]) << ' ' << shortestDecimal(bestSimulated[h])
        << '\n';
  }
}

std::string fileNamePart(const std::string& name) {
  std::string part = name;
  for (char& c : part) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  }
  return part;
}

namespace {

// A gnuplot string in single quotes, where a quote is written twice.
std::string gnuplotString(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

void writeHydrographScript(std::ostream& out, const std::vector<std::string>& titles,
                           const std::vector<std::string>& dataFiles,
                           const std::vector<std::string>& pictures,
                           const std::vector<double>& maxRain) {
  out << "# Hydrographs of runoff-calibrate: at each scored gauge the observed discharge, the\n"
         "# discharge simulated with the starting and with the best parameters, and the mean\n"
         "# rainfall over the routed cells upstream of the gauge as bars hanging from the top on\n"
         "# a second, inverted axis. Hourly means, drawn at the middle of their hour. Run in\n"
         "# calibration/: gnuplot hydrographs.gp\n"
         "set terminal pngcairo size 960,540 font \"sans,11\"\n"
         "set xlabel \"Hour since the start of the run\"\n"
         "set ylabel \"Discharge (m^3/s)\"\n"
         "set y2label \"Mean rainfall upstream (mm/h)\"\n"
         "set xrange [0:*]\n"
         "set yrange [0:*]\n"
         "set offsets 0, 0, graph 0.45, 0\n"
         "set ytics nomirror\n"
         "set y2tics\n"
         "set grid xtics ytics\n"
         "set key center right\n"
         "set style fill solid 0.6 noborder\n"
         "set boxwidth 1.0\n";
  for (std::size_t g = 0; g < titles.size(); ++g) {
    const double top = maxRain[g] > 0 ? maxRain[g] * 2.5 : 1.0;
    out << "\nset output " << gnuplotString(pictures[g]) << '\n'
        << "set title " << gnuplotString(titles[g]) << " noenhanced\n"
        << "set y2range [" << shortestDecimal(top) << ":0]\n"
        << "plot " << gnuplotString(dataFiles[g])
        << " using ($1 - 0.5):2 axes x1y2 with boxes lc rgb \"#4a90d9\" title \"Rainfall\", \\\n"
           "     '' using ($1 - 0.5):3 with points pt 7 ps 0.6 lc rgb \"black\" title "
           "\"Observed\", \\\n"
           "     '' using ($1 - 0.5):4 with lines lw 2 dt 2 lc rgb \"#1e8449\" title "
           "\"Simulated, starting parameters\", \\\n"
           "     '' using ($1 - 0.5):5 with lines lw 2 lc rgb \"#c0392b\" title "
           "\"Simulated, best parameters\"\n";
  }
}

namespace {

// The path of `program` found on PATH, or empty.
std::string onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate =
        (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

}  // namespace

std::string drawWithGnuplot(const std::string& directory, const std::string& script,
                            const std::vector<std::string>& pictures, bool& drawn) {
  drawn = false;
  const std::string gnuplot = onPath("gnuplot");
  if (gnuplot.empty()) {
    return "gnuplot is not installed: no picture drawn (gnuplot " + script + " in " + directory +
           "/ draws them).";
  }
  const pid_t child = fork();
  if (child < 0) return "gnuplot could not be started: no picture drawn.";
  if (child == 0) {
    // In the child: only system calls until exec.
    if (chdir(directory.c_str()) != 0) _exit(127);
    const int log = open("gnuplot.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
      close(log);
    }
    const int none = open("/dev/null", O_RDONLY);
    if (none >= 0) dup2(none, STDIN_FILENO);
    execl(gnuplot.c_str(), "gnuplot", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return "gnuplot could not be waited for: no picture drawn.";
  }
  const std::string log = directory + "/gnuplot.log";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "gnuplot failed (its messages are in " + log + "): the pictures may be missing.";
  }
  std::error_code ignored;
  std::filesystem::remove(log, ignored);
  drawn = true;
  std::string lines;
  for (const std::string& picture : pictures) {
    if (!lines.empty()) lines += '\n';
    lines += "Draw ";
    lines += directory;
    lines += '/';
    lines += picture;
  }
  return lines;
}

void writeLakeList(std::ostream& out, const std::vector<Lake>& lakes) {
  out << "name,lon,lat,area,rule,a,b,start\n";
  for (const Lake& lake : lakes) {
    out << csvField(lake.name) << ',' << shortestDecimal(lake.lon) << ','
        << shortestDecimal(lake.lat) << ',' << shortestDecimal(lake.areaKm2) << ','
        << lakeRuleName(lake.rule) << ',' << shortestDecimal(lake.a) << ','
        << (lake.rule == LakeRule::kWeir ? shortestDecimal(lake.b) : std::string()) << ','
        << shortestDecimal(lake.startLevel) << '\n';
  }
}

}  // namespace runoff
