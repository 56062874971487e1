// runoff._runoff: the compiled part of the Python package. Model is the Basic Model Interface's
// class (runoff/bmi/runoff_bmi.h) with the interface's functions as the Python form of the
// interface has them (arrays as numpy arrays, a failure raised as RuntimeError carrying the
// model's one line), plus what the package's conveniences need; score() the scores of
// runoff/evaluation; calibrate() runoff-calibrate's calibration in a working directory.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/bmi/runoff_bmi.h"
#include "runoff/bmi/working_directory.h"
#include "runoff/evaluation/scores.h"
#ifdef RUNOFF_HAVE_CALIBRATION
#include "runoff_calibrate/calibrate_options.h"
#include "runoff_calibrate/calibration.h"
#endif

namespace py = pybind11;
using runoff::kBmiSuccess;
using runoff::RunoffBmi;

namespace {

void check(const RunoffBmi& model, int outcome) {
  if (outcome != kBmiSuccess) throw std::runtime_error(model.lastError());
}

template <typename T, typename Get>
T answer(const RunoffBmi& model, Get get) {
  T value{};
  check(model, get(value));
  return value;
}

py::dtype dtypeOf(const std::string& type) {
  return py::dtype(type == "float64" ? "float64" : type == "int32" ? "int32" : "float32");
}

// A 1-D array of `count` items of `dtype` to write into: `dest` when it is one (C-contiguous, of
// that type and size), a new one when it is None.
py::array placeFor(py::object dest, const py::dtype& dtype, py::ssize_t count,
                   const std::string& what) {
  if (dest.is_none())
    return py::array(dtype, std::vector<py::ssize_t>{count}, std::vector<py::ssize_t>{});
  py::array array = py::reinterpret_borrow<py::array>(dest);
  if (!py::isinstance<py::array>(dest) || !array.dtype().is(dtype) || array.size() != count ||
      !(array.flags() & py::array::c_style) || !array.writeable()) {
    throw std::invalid_argument(
        what + " needs a writeable C-contiguous array of " + std::to_string(count) + " " +
        py::str(static_cast<py::handle>(dtype)).cast<std::string>() + " values.");
  }
  return array;
}

std::string typeOf(const RunoffBmi& model, const std::string& name) {
  return answer<std::string>(model, [&](std::string& t) { return model.get_var_type(name, t); });
}

py::ssize_t itemsOf(const RunoffBmi& model, const std::string& name) {
  const int nbytes = answer<int>(model, [&](int& n) { return model.get_var_nbytes(name, n); });
  const int itemsize = answer<int>(model, [&](int& n) { return model.get_var_itemsize(name, n); });
  return nbytes / itemsize;
}

// The values to set, as an array of the variable's type (converted when they are not).
py::array valuesFor(const RunoffBmi& model, const std::string& name, py::object values) {
  return py::array::ensure(values, 0)
      .attr("astype")(dtypeOf(typeOf(model, name)), "C", "unsafe", true, false)
      .cast<py::array>();
}

template <typename Fill>
py::array gridArray(const RunoffBmi& model, py::object dest, py::ssize_t count,
                    const py::dtype& dtype, const std::string& what, Fill fill) {
  py::array out = placeFor(dest, dtype, count, what);
  check(model, fill(out.mutable_data()));
  return out;
}

int gridRank(const RunoffBmi& model, int grid) {
  return answer<int>(model, [&](int& r) { return model.get_grid_rank(grid, r); });
}

py::ssize_t gridSide(const RunoffBmi& model, int grid, int axis) {
  int shape[2] = {0, 0};
  check(model, model.get_grid_shape(grid, shape));
  return shape[axis];
}

py::dict scoresDict(const runoff::Scores& s) {
  py::dict d;
  d["pairs"] = s.pairs;
  d["nse"] = s.nse;
  d["log_nse"] = s.logNse;
  d["kge"] = s.kge;
  d["r"] = s.r;
  d["alpha"] = s.alpha;
  d["beta"] = s.beta;
  d["kge_2012"] = s.kge2012;
  d["gamma"] = s.gamma;
  d["pbias_pct"] = s.pbiasPct;
  d["peak_error_pct"] = s.peakErrorPct;
  d["peak_time_error_h"] = s.peakTimeErrorH;
  return d;
}

}  // namespace

PYBIND11_MODULE(_runoff, m) {
  m.doc() = "The compiled part of the runoff package: see runoff.Model.";

  py::class_<RunoffBmi>(m, "Model")
      .def(py::init<>())
      // Model control.
      .def(
          "initialize",
          [](RunoffBmi& self, const std::string& config) { check(self, self.initialize(config)); },
          py::arg("config_file"))
      .def(
          "initialize_with",
          [](RunoffBmi& self, const std::string& workdir, const std::vector<std::string>& args) {
            check(self, self.initializeWith(workdir, args));
          },
          py::arg("workdir"), py::arg("args"))
      .def("update", [](RunoffBmi& self) { check(self, self.update()); })
      .def(
          "update_until", [](RunoffBmi& self, double t) { check(self, self.update_until(t)); },
          py::arg("time"))
      .def("finalize", [](RunoffBmi& self) { check(self, self.finalize()); })
      .def(
          "advance", [](RunoffBmi& self, std::int64_t hours) { check(self, self.advance(hours)); },
          py::arg("hours"))
      // Model information.
      .def("get_component_name",
           [](const RunoffBmi& self) {
             return answer<std::string>(self,
                                        [&](std::string& n) { return self.get_component_name(n); });
           })
      .def("get_input_item_count",
           [](const RunoffBmi& self) {
             return answer<int>(self, [&](int& n) { return self.get_input_item_count(n); });
           })
      .def("get_output_item_count",
           [](const RunoffBmi& self) {
             return answer<int>(self, [&](int& n) { return self.get_output_item_count(n); });
           })
      .def("get_input_var_names",
           [](const RunoffBmi& self) {
             std::vector<std::string> names;
             check(self, self.get_input_var_names(names));
             return py::tuple(py::cast(names));
           })
      .def("get_output_var_names",
           [](const RunoffBmi& self) {
             std::vector<std::string> names;
             check(self, self.get_output_var_names(names));
             return py::tuple(py::cast(names));
           })
      // Variable information.
      .def("get_var_grid",
           [](const RunoffBmi& self, const std::string& name) {
             return answer<int>(self, [&](int& g) { return self.get_var_grid(name, g); });
           })
      .def("get_var_type",
           [](const RunoffBmi& self, const std::string& name) { return typeOf(self, name); })
      .def("get_var_units",
           [](const RunoffBmi& self, const std::string& name) {
             return answer<std::string>(
                 self, [&](std::string& u) { return self.get_var_units(name, u); });
           })
      .def("get_var_itemsize",
           [](const RunoffBmi& self, const std::string& name) {
             return answer<int>(self, [&](int& n) { return self.get_var_itemsize(name, n); });
           })
      .def("get_var_nbytes",
           [](const RunoffBmi& self, const std::string& name) {
             return answer<int>(self, [&](int& n) { return self.get_var_nbytes(name, n); });
           })
      .def("get_var_location",
           [](const RunoffBmi& self, const std::string& name) {
             return answer<std::string>(
                 self, [&](std::string& l) { return self.get_var_location(name, l); });
           })
      // Time.
      .def("get_current_time",
           [](const RunoffBmi& self) {
             return answer<double>(self, [&](double& t) { return self.get_current_time(t); });
           })
      .def("get_start_time",
           [](const RunoffBmi& self) {
             return answer<double>(self, [&](double& t) { return self.get_start_time(t); });
           })
      .def("get_end_time",
           [](const RunoffBmi& self) {
             return answer<double>(self, [&](double& t) { return self.get_end_time(t); });
           })
      .def("get_time_units",
           [](const RunoffBmi& self) {
             return answer<std::string>(self,
                                        [&](std::string& u) { return self.get_time_units(u); });
           })
      .def("get_time_step",
           [](const RunoffBmi& self) {
             return answer<double>(self, [&](double& t) { return self.get_time_step(t); });
           })
      // Getters and setters.
      .def(
          "get_value",
          [](const RunoffBmi& self, const std::string& name, py::object dest) {
            py::array out =
                placeFor(dest, dtypeOf(typeOf(self, name)), itemsOf(self, name), "get_value");
            check(self, self.get_value(name, out.mutable_data()));
            return out;
          },
          py::arg("name"), py::arg("dest") = py::none())
      .def(
          "get_value_ptr",
          [](py::object owner, const std::string& name) {
            RunoffBmi& self = owner.cast<RunoffBmi&>();
            void* data = nullptr;
            check(self, self.get_value_ptr(name, &data));
            // A view of the model's own array, which keeps the model alive.
            return py::array(dtypeOf(typeOf(self, name)),
                             std::vector<py::ssize_t>{itemsOf(self, name)},
                             std::vector<py::ssize_t>{}, data, owner);
          },
          py::arg("name"))
      .def(
          "get_value_at_indices",
          [](const RunoffBmi& self, const std::string& name, py::object dest,
             py::array_t<int, py::array::c_style | py::array::forcecast> inds) {
            const py::ssize_t count = inds.size();
            py::array out =
                placeFor(dest, dtypeOf(typeOf(self, name)), count, "get_value_at_indices");
            check(self, self.get_value_at_indices(name, out.mutable_data(), inds.data(),
                                                  static_cast<int>(count)));
            return out;
          },
          py::arg("name"), py::arg("dest"), py::arg("inds"))
      .def(
          "set_value",
          [](RunoffBmi& self, const std::string& name, py::object values) {
            py::array src = valuesFor(self, name, values);
            if (src.size() != itemsOf(self, name)) {
              throw std::invalid_argument("set_value of " + name + " needs " +
                                          std::to_string(itemsOf(self, name)) + " values, not " +
                                          std::to_string(src.size()) + ".");
            }
            check(self, self.set_value(name, src.data()));
          },
          py::arg("name"), py::arg("values"))
      .def(
          "set_value_at_indices",
          [](RunoffBmi& self, const std::string& name,
             py::array_t<int, py::array::c_style | py::array::forcecast> inds, py::object values) {
            py::array src = valuesFor(self, name, values);
            if (src.size() != inds.size()) {
              throw std::invalid_argument("set_value_at_indices needs as many values as indices.");
            }
            check(self, self.set_value_at_indices(name, inds.data(), static_cast<int>(inds.size()),
                                                  src.data()));
          },
          py::arg("name"), py::arg("inds"), py::arg("src"))
      // Grids.
      .def("get_grid_rank", [](const RunoffBmi& self, int grid) { return gridRank(self, grid); })
      .def("get_grid_size",
           [](const RunoffBmi& self, int grid) {
             return answer<int>(self, [&](int& n) { return self.get_grid_size(grid, n); });
           })
      .def("get_grid_type",
           [](const RunoffBmi& self, int grid) {
             return answer<std::string>(
                 self, [&](std::string& t) { return self.get_grid_type(grid, t); });
           })
      .def(
          "get_grid_shape",
          [](const RunoffBmi& self, int grid, py::object shape) {
            return gridArray(
                self, shape, gridRank(self, grid), py::dtype("int32"), "get_grid_shape",
                [&](void* p) { return self.get_grid_shape(grid, static_cast<int*>(p)); });
          },
          py::arg("grid"), py::arg("shape") = py::none())
      .def(
          "get_grid_spacing",
          [](const RunoffBmi& self, int grid, py::object spacing) {
            return gridArray(
                self, spacing, gridRank(self, grid), py::dtype("float64"), "get_grid_spacing",
                [&](void* p) { return self.get_grid_spacing(grid, static_cast<double*>(p)); });
          },
          py::arg("grid"), py::arg("spacing") = py::none())
      .def(
          "get_grid_origin",
          [](const RunoffBmi& self, int grid, py::object origin) {
            return gridArray(
                self, origin, gridRank(self, grid), py::dtype("float64"), "get_grid_origin",
                [&](void* p) { return self.get_grid_origin(grid, static_cast<double*>(p)); });
          },
          py::arg("grid"), py::arg("origin") = py::none())
      .def(
          "get_grid_x",
          [](const RunoffBmi& self, int grid, py::object x) {
            return gridArray(
                self, x, gridSide(self, grid, 1), py::dtype("float64"), "get_grid_x",
                [&](void* p) { return self.get_grid_x(grid, static_cast<double*>(p)); });
          },
          py::arg("grid"), py::arg("x") = py::none())
      .def(
          "get_grid_y",
          [](const RunoffBmi& self, int grid, py::object y) {
            return gridArray(
                self, y, gridSide(self, grid, 0), py::dtype("float64"), "get_grid_y",
                [&](void* p) { return self.get_grid_y(grid, static_cast<double*>(p)); });
          },
          py::arg("grid"), py::arg("y") = py::none())
      .def(
          "get_grid_z",
          [](const RunoffBmi& self, int grid, py::object) {
            double z = 0;
            check(self, self.get_grid_z(grid, &z));
            return py::none();
          },
          py::arg("grid"), py::arg("z") = py::none())
      .def("get_grid_node_count",
           [](const RunoffBmi& self, int grid) {
             return answer<int>(self, [&](int& n) { return self.get_grid_node_count(grid, n); });
           })
      .def("get_grid_edge_count",
           [](const RunoffBmi& self, int grid) {
             return answer<int>(self, [&](int& n) { return self.get_grid_edge_count(grid, n); });
           })
      .def("get_grid_face_count",
           [](const RunoffBmi& self, int grid) {
             return answer<int>(self, [&](int& n) { return self.get_grid_face_count(grid, n); });
           })
      .def(
          "get_grid_edge_nodes",
          [](const RunoffBmi& self, int grid, py::object) {
            check(self, self.get_grid_edge_nodes(grid, nullptr));
            return py::none();
          },
          py::arg("grid"), py::arg("edge_nodes") = py::none())
      .def(
          "get_grid_face_edges",
          [](const RunoffBmi& self, int grid, py::object) {
            check(self, self.get_grid_face_edges(grid, nullptr));
            return py::none();
          },
          py::arg("grid"), py::arg("face_edges") = py::none())
      .def(
          "get_grid_face_nodes",
          [](const RunoffBmi& self, int grid, py::object) {
            check(self, self.get_grid_face_nodes(grid, nullptr));
            return py::none();
          },
          py::arg("grid"), py::arg("face_nodes") = py::none())
      .def(
          "get_grid_nodes_per_face",
          [](const RunoffBmi& self, int grid, py::object) {
            check(self, self.get_grid_nodes_per_face(grid, nullptr));
            return py::none();
          },
          py::arg("grid"), py::arg("nodes_per_face") = py::none())
      // What the package's conveniences read.
      .def("console", &RunoffBmi::console)
      .def_property_readonly("hours_done", &RunoffBmi::hoursDone)
      .def_property_readonly("total_hours", &RunoffBmi::totalHours)
      .def_property_readonly("workdir", &RunoffBmi::workdir)
      .def("gauge_names", &RunoffBmi::gaugeNames)
      .def("gauge_series", [](const RunoffBmi& self) {
        const std::vector<float>& series = self.gaugeSeries();
        const py::ssize_t gauges = static_cast<py::ssize_t>(self.gaugeNames().size());
        const py::ssize_t hours =
            gauges == 0 ? 0 : static_cast<py::ssize_t>(series.size()) / gauges;
        py::array_t<float> out(std::vector<py::ssize_t>{hours, gauges});
        if (!series.empty())
          std::memcpy(out.mutable_data(), series.data(), series.size() * sizeof(float));
        return out;
      });

  m.def(
      "score",
      [](py::array_t<double, py::array::c_style | py::array::forcecast> observed,
         py::array_t<double, py::array::c_style | py::array::forcecast> simulated) {
        if (observed.ndim() != 1 || simulated.ndim() != 1 || observed.size() != simulated.size()) {
          throw std::invalid_argument("score needs two series of the same length.");
        }
        // The pairs of the hours where both are numbers, in order; the hour is the position.
        std::vector<double> o, s;
        std::vector<std::int64_t> hours;
        for (py::ssize_t i = 0; i < observed.size(); ++i) {
          if (std::isfinite(observed.at(i)) && std::isfinite(simulated.at(i))) {
            o.push_back(observed.at(i));
            s.push_back(simulated.at(i));
            hours.push_back(i);
          }
        }
        if (o.empty())
          throw std::invalid_argument("score needs at least one hour with both values.");
        return scoresDict(runoff::scoreSeries(o, s, hours));
      },
      py::arg("observed"), py::arg("simulated"));

#ifdef RUNOFF_HAVE_CALIBRATION
  m.def(
      "calibrate",
      [](const std::string& workdir, const std::vector<std::string>& args) {
        runoff::Result<runoff::CalibrateOptions> options = runoff::parseCalibrateOptions(args);
        if (!options.ok()) throw std::runtime_error("runoff-calibrate: " + options.message());
        std::ostringstream console;
        runoff::Status done;
        {
          py::gil_scoped_release free;
          runoff::WorkingDirectory inside(workdir);
          done = inside.status().ok() ? runoff::calibrate(*options, console) : inside.status();
        }
        if (!done.ok()) throw std::runtime_error(done.message());
        return console.str();
      },
      py::arg("workdir"), py::arg("args"));
#endif
}
