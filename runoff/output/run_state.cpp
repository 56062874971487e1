#include "runoff/output/run_state.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>

#include "common/binary_grid.h"
#include "common/fnv1a.h"
#include "common/input_file.h"
#include "runoff/model/routing_scheme.h"

namespace runoff {
namespace {

constexpr char kMagic[8] = {'R', 'N', 'F', 'S', 'T', 'A', 'T', 'E'};
constexpr char kLossTag[8] = {'R', 'N', 'F', 'L', 'O', 'S', 'S', '1'};
constexpr char kSoilTag[8] = {'R', 'N', 'F', 'S', 'O', 'I', 'L', '1'};
constexpr char kLakeTag[8] = {'R', 'N', 'F', 'L', 'A', 'K', 'E', '1'};
constexpr std::uint32_t kVersion = 1;

// Little-endian records appended to a byte buffer.
class Bytes {
 public:
  void u32(std::uint32_t v) {
    unsigned char b[4];
    storeLittle32(v, b);
    data_.insert(data_.end(), b, b + 4);
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
  void f32(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    u32(u);
  }
  void f64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    u64(u);
  }
  void raw(const char* p, std::size_t n) { data_.insert(data_.end(), p, p + n); }
  std::vector<unsigned char>& data() { return data_; }

 private:
  std::vector<unsigned char> data_;
};

// Reads the same records back; every read past the end sets `short_`.
class Reader {
 public:
  Reader(const unsigned char* p, std::size_t n) : p_(p), n_(n) {}
  bool cutShort() const { return short_; }
  std::size_t left() const { return n_ - at_; }
  /// True, and past them, when the next bytes are `bytes`; else nothing is read.
  bool skipIf(const char* bytes, std::size_t k) {
    if (short_ || left() < k || std::memcmp(p_ + at_, bytes, k) != 0) return false;
    at_ += k;
    return true;
  }
  std::uint32_t u32() {
    if (!take(4)) return 0;
    return loadLittle32(p_ + at_ - 4);
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::uint64_t u64() {
    const std::uint64_t low = u32();
    return low | static_cast<std::uint64_t>(u32()) << 32;
  }
  std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
  float f32() {
    const std::uint32_t u = u32();
    float v;
    std::memcpy(&v, &u, 4);
    return v;
  }
  double f64() {
    const std::uint64_t u = u64();
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }

 private:
  bool take(std::size_t k) {
    if (short_ || n_ - at_ < k) {
      short_ = true;
      return false;
    }
    at_ += k;
    return true;
  }
  const unsigned char* p_;
  std::size_t n_;
  std::size_t at_ = 0;
  bool short_ = false;
};

void writeKey(Bytes& out, const StateKey& k) {
  out.i32(k.topoCols);
  out.i32(k.topoRows);
  out.f64(k.topoSwLon);
  out.f64(k.topoSwLat);
  out.f32(k.topoScale);
  out.i32(k.rainCols);
  out.i32(k.rainRows);
  out.f64(k.rainDx);
  out.f64(k.rainDy);
  out.f64(k.rainSwLon);
  out.f64(k.rainSwLat);
  out.i32(k.timeStep);
  out.i32(k.spaceSteps);
  out.f64(k.fdWeight);
  out.f64(k.slopeManning);
  out.f64(k.channelManning);
  out.i32(k.channelThreshold);
  out.u32(k.scheme);
  out.u64(k.riverHash);
  out.u64(k.orderHash);
}

StateKey readKey(Reader& in) {
  StateKey k;
  k.topoCols = in.i32();
  k.topoRows = in.i32();
  k.topoSwLon = in.f64();
  k.topoSwLat = in.f64();
  k.topoScale = in.f32();
  k.rainCols = in.i32();
  k.rainRows = in.i32();
  k.rainDx = in.f64();
  k.rainDy = in.f64();
  k.rainSwLon = in.f64();
  k.rainSwLat = in.f64();
  k.timeStep = in.i32();
  k.spaceSteps = in.i32();
  k.fdWeight = in.f64();
  k.slopeManning = in.f64();
  k.channelManning = in.f64();
  k.channelThreshold = in.i32();
  k.scheme = in.u32();
  k.riverHash = in.u64();
  k.orderHash = in.u64();
  return k;
}

void writeLossKey(Bytes& out, const StateKey::Losses& k) {
  out.raw(kLossTag, sizeof kLossTag);
  out.u32(k.method);
  out.f64(k.iaRatio);
  out.i32(k.eventGap);
  out.u64(k.gridsHash);
}

StateKey::Losses readLossKey(Reader& in) {
  StateKey::Losses k;
  k.method = in.u32();
  k.iaRatio = in.f64();
  k.eventGap = in.i32();
  k.gridsHash = in.u64();
  return k;
}

void writeSoilKey(Bytes& out, const StateKey::Soil& k) {
  out.raw(kSoilTag, sizeof kSoilTag);
  out.f64(k.etThreshold);
  out.u64(k.gridsHash);
}

StateKey::Soil readSoilKey(Reader& in) {
  StateKey::Soil k;
  k.on = true;
  k.etThreshold = in.f64();
  k.gridsHash = in.u64();
  return k;
}

// The members of a CellSoil in the order the file holds them.
void soilValuesOf(const CellSoil& s, double* out) {
  const double values[kCellSoilValues] = {s.stores.soil, s.stores.groundwater,
                                          s.lastInfiltration, s.lastBaseflow, s.lastRain};
  std::copy(values, values + kCellSoilValues, out);
}

CellSoil soilStateFrom(const double* v) {
  CellSoil s;
  s.stores.soil = v[0];
  s.stores.groundwater = v[1];
  s.lastInfiltration = v[2];
  s.lastBaseflow = v[3];
  s.lastRain = v[4];
  return s;
}

// The members of a LossState in the order the file holds them.
void lossValuesOf(const LossState& s, double* out) {
  const double values[kLossStateValues] = {s.initialLossLeft, s.rainSum,  s.excessSum,
                                           s.infiltrated,     s.dryHours, s.lastRain};
  std::copy(values, values + kLossStateValues, out);
}

LossState lossStateFrom(const double* v) {
  LossState s;
  s.initialLossLeft = v[0];
  s.rainSum = v[1];
  s.excessSum = v[2];
  s.infiltrated = v[3];
  s.dryHours = v[4];
  s.lastRain = v[5];
  return s;
}

// Shortest text that reads back as the same value.
template <typename T>
std::string exact(T value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// The first difference between the stored key and this run's, as the end of the sentence
// "... does not fit this run: ", or "" when they agree.
std::string keyDifference(const StateKey& s, const StateKey& r) {
  auto pair = [](const std::string& what, const std::string& stored, const std::string& run) {
    return "its " + what + " is " + stored + ", this run's " + run + ".";
  };
  auto grid = [](std::int32_t rows, std::int32_t cols) {
    return std::to_string(rows) + " rows x " + std::to_string(cols) + " columns";
  };
  auto corner = [](double lon, double lat) {
    std::string text = "(";
    text += exact(lon);
    text += ", ";
    text += exact(lat);
    text += ")";
    return text;
  };
  if (s.topoRows != r.topoRows || s.topoCols != r.topoCols) {
    return pair("topography grid", grid(s.topoRows, s.topoCols), grid(r.topoRows, r.topoCols));
  }
  if (s.topoSwLon != r.topoSwLon || s.topoSwLat != r.topoSwLat) {
    return pair("south-west corner (lon, lat)", corner(s.topoSwLon, s.topoSwLat),
                corner(r.topoSwLon, r.topoSwLat));
  }
  if (s.topoScale != r.topoScale) {
    return pair("cell size", exact(s.topoScale) + " arc-seconds",
                exact(r.topoScale) + " arc-seconds");
  }
  if (s.rainRows != r.rainRows || s.rainCols != r.rainCols) {
    return pair("rainfall grid", grid(s.rainRows, s.rainCols), grid(r.rainRows, r.rainCols));
  }
  if (s.rainDx != r.rainDx || s.rainDy != r.rainDy) {
    return pair("rainfall grid spacing (x, y)", corner(s.rainDx, s.rainDy),
                corner(r.rainDx, r.rainDy));
  }
  if (s.rainSwLon != r.rainSwLon || s.rainSwLat != r.rainSwLat) {
    return pair("rainfall grid's south-west centre (lon, lat)", corner(s.rainSwLon, s.rainSwLat),
                corner(r.rainSwLon, r.rainSwLat));
  }
  if (s.timeStep != r.timeStep) {
    return pair("time step", std::to_string(s.timeStep) + " s", std::to_string(r.timeStep) + " s");
  }
  if (s.spaceSteps != r.spaceSteps) {
    return pair("space step count", std::to_string(s.spaceSteps), std::to_string(r.spaceSteps));
  }
  if (s.fdWeight != r.fdWeight) {
    return pair("finite difference weight", exact(s.fdWeight), exact(r.fdWeight));
  }
  if (s.slopeManning != r.slopeManning) {
    return pair("slope Manning coefficient", exact(s.slopeManning), exact(r.slopeManning));
  }
  if (s.channelManning != r.channelManning) {
    return pair("channel Manning coefficient", exact(s.channelManning), exact(r.channelManning));
  }
  if (s.channelThreshold != r.channelThreshold) {
    return pair("channel threshold", std::to_string(s.channelThreshold),
                std::to_string(r.channelThreshold));
  }
  if (s.scheme != r.scheme) {
    return std::string("it was routed with the ") + schemeName(static_cast<Scheme>(s.scheme)) +
           " scheme, this run uses the " + schemeName(static_cast<Scheme>(r.scheme)) + " scheme.";
  }
  const StateKey::Losses& sl = s.losses;
  const StateKey::Losses& rl = r.losses;
  if (sl.method != rl.method) {
    return pair("loss method (--losses)", lossMethodName(static_cast<LossMethod>(sl.method)),
                lossMethodName(static_cast<LossMethod>(rl.method)));
  }
  if (sl.iaRatio != rl.iaRatio) {
    return pair("initial abstraction ratio (--ia-ratio)", exact(sl.iaRatio), exact(rl.iaRatio));
  }
  if (sl.eventGap != rl.eventGap) {
    auto gap = [](std::int32_t hours) {
      return hours < 0 ? std::string("none") : std::to_string(hours) + " hours";
    };
    return pair("event gap (--event-gap)", gap(sl.eventGap), gap(rl.eventGap));
  }
  if (sl.gridsHash != rl.gridsHash) {
    return "it was written with other loss grids (their checksum differs).";
  }
  const StateKey::Soil& ss = s.soil;
  const StateKey::Soil& rs = r.soil;
  if (ss.on != rs.on) {
    return ss.on ? "it was written with soil and groundwater stores (--soil), this run has none."
                 : "it was written without soil and groundwater stores, this run has them "
                   "(--soil).";
  }
  if (ss.etThreshold != rs.etThreshold) {
    return pair("ET threshold (--et-threshold)", exact(ss.etThreshold), exact(rs.etThreshold));
  }
  if (ss.gridsHash != rs.gridsHash) {
    return "it was written with other soil grids (their checksum differs).";
  }
  if (s.lakes.count != r.lakes.count || s.lakes.hash != r.lakes.hash) {
    if (s.lakes.count == 0) return "it was written without lakes, this run has a lake list.";
    if (r.lakes.count == 0) return "it was written with a lake list, this run has none.";
    return "it was written with another lake list (their checksum differs).";
  }
  if (s.riverHash != r.riverHash) return "it was written for another river list.";
  if (s.orderHash != r.orderHash) return "it was written for another calculation order.";
  return "";
}

}  // namespace

StateKey::Losses lossKey(const LossRule& rule, std::uint64_t gridsHash) {
  StateKey::Losses k;
  k.method = static_cast<std::uint32_t>(rule.method);
  if (rule.method == LossMethod::kNone) return k;
  if (rule.method == LossMethod::kScsCurveNumber) k.iaRatio = rule.iaRatio;
  if (rule.method != LossMethod::kConstant) k.eventGap = rule.eventGapHours;
  k.gridsHash = gridsHash;
  return k;
}

StateKey::Soil soilKey(const SoilRule& rule, std::uint64_t gridsHash) {
  StateKey::Soil k;
  k.on = true;
  k.etThreshold = rule.etThreshold;
  k.gridsHash = gridsHash;
  return k;
}

StateKey makeStateKey(const RunParameters& p, const std::vector<std::int32_t>& riverNums,
                      const CalculationOrder& order, Scheme scheme) {
  StateKey k;
  k.topoCols = p.topoCols;
  k.topoRows = p.topoRows;
  k.topoSwLon = p.topoSwLon;
  k.topoSwLat = p.topoSwLat;
  k.topoScale = p.topoScale;
  k.rainCols = p.rainCols;
  k.rainRows = p.rainRows;
  k.rainDx = p.rainDx;
  k.rainDy = p.rainDy;
  k.rainSwLon = p.rainSwLon;
  k.rainSwLat = p.rainSwLat;
  k.timeStep = p.timeStep;
  k.spaceSteps = p.spaceSteps;
  k.fdWeight = p.fdWeight;
  k.slopeManning = p.slopeManning;
  k.channelManning = p.channelManning;
  k.channelThreshold = p.channelThreshold;
  k.scheme = static_cast<std::uint32_t>(scheme);
  // Lists that select the same cells (order, repeats, negative numbers) give the same key.
  Bytes rivers;
  for (std::int32_t n : std::set<std::int32_t>(riverNums.begin(), riverNums.end())) {
    if (n >= 0) rivers.i32(n);
  }
  k.riverHash = fnv1a(rivers.data().data(), rivers.data().size());
  Bytes cells;
  cells.i32(order.groupCount);
  for (std::int32_t size : order.groupSizes) cells.i32(size);
  for (const CellIndex& c : order.calcOrder) {
    cells.i32(c.row);
    cells.i32(c.col);
  }
  k.orderHash = fnv1a(cells.data().data(), cells.data().size());
  return k;
}

void collectCellStates(const std::vector<std::int32_t>& routedCells, const RoutingStates& states,
                       CellStates& out) {
  out.values.resize(routedCells.size() * out.stride());
  for (std::size_t i = 0; i < routedCells.size(); ++i) {
    const std::int32_t slot = states.slotOfCell[routedCells[i]];
    if (slot < 0) continue;
    const CellRouting& state = states.states[slot];
    double* values = out.values.data() + i * out.stride();
    for (std::int32_t n = 0; n <= out.nodes; ++n) values[n] = state.qOld[n];
    values[out.nodes + 1] = state.qLatCur;
    if (out.lossValues > 0) lossValuesOf(states.losses[slot], values + out.nodes + 2);
    if (out.soilValues > 0) {
      soilValuesOf(states.soil[slot], values + out.nodes + 2 + out.lossValues);
    }
  }
}

void applyCellStates(const CellStates& stored, const std::vector<std::int32_t>& routedCells,
                     RoutingStates& states) {
  for (std::size_t i = 0; i < routedCells.size(); ++i) {
    const std::int32_t slot = states.slotOfCell[routedCells[i]];
    if (slot < 0) continue;
    CellRouting& state = states.states[slot];
    const double* values = stored.values.data() + i * stored.stride();
    for (std::int32_t n = 0; n <= stored.nodes; ++n) state.qOld[n] = state.qNew[n] = values[n];
    state.qLatCur = state.qLatPrev = values[stored.nodes + 1];
    if (stored.lossValues > 0) states.losses[slot] = lossStateFrom(values + stored.nodes + 2);
    if (stored.soilValues > 0) {
      states.soil[slot] = soilStateFrom(values + stored.nodes + 2 + stored.lossValues);
    }
  }
}

Status checkStateOutPath(const std::string& path) {
  // A directory at `path` would refuse the file only when it is published, after the run's
  // other outputs: it is refused before anything is written.
  if (isDirectoryAt(path)) {
    return Status::ioError("State file " + path + " cannot be written: it is a directory.");
  }
  return {};
}

Result<std::unique_ptr<AtomicFile>> writeRunState(const std::string& path, const StateKey& key,
                                                  std::int64_t daysBefore,
                                                  const std::vector<std::int32_t>& routedCells,
                                                  const CellStates& cells,
                                                  std::span<const double> lakeStorage) {
  Bytes out;
  out.raw(kMagic, sizeof kMagic);
  out.u32(kVersion);
  writeKey(out, key);
  out.i64(daysBefore);
  out.u64(routedCells.size());
  if (key.losses.method != 0) writeLossKey(out, key.losses);
  if (key.soil.on) writeSoilKey(out, key.soil);
  if (key.lakes.count != 0) {
    out.raw(kLakeTag, sizeof kLakeTag);
    out.u64(key.lakes.hash);
    out.u64(key.lakes.count);
    for (std::size_t k = 0; k < key.lakes.count; ++k) {
      out.f64(k < lakeStorage.size() ? lakeStorage[k] : 0.0);
    }
  }
  for (std::size_t i = 0; i < routedCells.size(); ++i) {
    out.i32(routedCells[i]);
    for (std::size_t v = 0; v < cells.stride(); ++v) out.f64(cells.values[i * cells.stride() + v]);
  }
  out.u64(fnv1a(out.data().data(), out.data().size()));

  if (Status place = checkStateOutPath(path); !place.ok()) return place;
  auto file = std::make_unique<AtomicFile>(path, std::ios::binary, "State file");
  if (Status ready = file->ready(); !ready.ok()) return ready;
  file->stream().write(reinterpret_cast<const char*>(out.data().data()),
                       static_cast<std::streamsize>(out.data().size()));
  if (Status finished = file->finish(); !finished.ok()) return finished;
  return file;
}

Result<StoredState> readRunState(const std::string& path, const StateKey& key,
                                 const std::vector<std::int32_t>& routedCells) {
  std::ifstream in;
  if (openInputFile(in, path, std::ios::binary) != InputFault::kNone) {
    return Status::cannotOpen("State file " + path + " cannot be opened.");
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
  if (in.bad()) return Status::ioError("State file " + path + " cannot be read.");
  return readRunState(bytes, path, key, routedCells);
}

Result<StoredState> readRunState(std::span<const unsigned char> bytes, const std::string& path,
                                 const StateKey& key,
                                 const std::vector<std::int32_t>& routedCells) {
  const std::string refused = "State file " + path + " ";
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return Status::invalid(path + " is not a state file of this model.");
  }
  Reader header(bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
  const std::uint32_t version = header.u32();
  if (!header.cutShort() && version != kVersion) {
    return Status::invalid(refused + "has format version " + std::to_string(version) +
                           "; this program reads version " + std::to_string(kVersion) + ".");
  }
  if (bytes.size() < sizeof kMagic + 4 + 8) return Status::invalid(refused + "is cut short.");
  const std::size_t body = bytes.size() - 8;
  Reader tail(bytes.data() + body, 8);
  const std::uint64_t stored = tail.u64();
  if (stored != fnv1a(bytes.data(), body)) {
    return Status::invalid(refused + "is damaged or cut short: its checksum does not match.");
  }

  Reader r(bytes.data() + sizeof kMagic + 4, body - sizeof kMagic - 4);
  StateKey storedKey = readKey(r);
  StoredState state;
  state.daysBefore = r.i64();
  const std::uint64_t count = r.u64();
  if (r.skipIf(kLossTag, sizeof kLossTag)) storedKey.losses = readLossKey(r);
  if (r.skipIf(kSoilTag, sizeof kSoilTag)) storedKey.soil = readSoilKey(r);
  if (r.skipIf(kLakeTag, sizeof kLakeTag)) {
    storedKey.lakes.hash = r.u64();
    storedKey.lakes.count = r.u64();
    // No more storages than the bytes left can hold, and a lake part holds a lake at least.
    if (r.cutShort() || storedKey.lakes.count > r.left() / 8) {
      return Status::invalid(refused + "is cut short.");
    }
    if (storedKey.lakes.count == 0) {
      return Status::invalid(refused + "is damaged: its lake part holds no lake.");
    }
    state.lakeStorage.resize(storedKey.lakes.count);
    for (double& storage : state.lakeStorage) {
      storage = r.f64();
      if (!(storage >= 0 && storage <= std::numeric_limits<double>::max())) {
        return Status::invalid(refused + "is damaged: a lake's storage is not a volume.");
      }
    }
  }
  if (r.cutShort()) return Status::invalid(refused + "is cut short.");
  if (std::string difference = keyDifference(storedKey, key); !difference.empty()) {
    return Status::invalid(refused + "does not fit this run: " + difference);
  }
  state.cells.nodes = key.spaceSteps;
  state.cells.lossValues = key.losses.method != 0 ? static_cast<std::int32_t>(kLossStateValues) : 0;
  state.cells.soilValues = key.soil.on ? static_cast<std::int32_t>(kCellSoilValues) : 0;
  const std::size_t stride = state.cells.stride();
  if (count != routedCells.size()) {
    return Status::invalid(refused + "does not fit this run: it holds " + std::to_string(count) +
                           " routed cells, this run routes " + std::to_string(routedCells.size()) +
                           ".");
  }
  if (r.left() != count * (4 + 8 * stride)) {
    return Status::invalid(refused + "is damaged: its size does not match its cell count.");
  }
  state.cells.values.resize(count * stride);
  for (std::size_t i = 0; i < routedCells.size(); ++i) {
    if (r.i32() != routedCells[i]) {
      return Status::invalid(refused +
                             "does not fit this run: its routed cells are not this "
                             "run's (other topography files?).");
    }
    for (std::size_t v = 0; v < stride; ++v) state.cells.values[i * stride + v] = r.f64();
  }
  return state;
}

}  // namespace runoff
