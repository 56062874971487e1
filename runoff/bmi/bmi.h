// The Basic Model Interface, version 2.0: the functions through which a coupling framework or a
// notebook drives a model it knows nothing else about. Written here from the interface's
// published list of functions, in its own names, as an abstract class.
//
// Every function returns kBmiSuccess or kBmiFailure, as the interface's C binding does, and
// hands its results back through its reference and pointer arguments; no exception leaves a
// call. After a failure, lastError() holds the one line that says why.
//
// Arrays cross the interface as raw memory: a variable's values are get_var_nbytes bytes of
// get_var_type ("float32", "float64", "int32"), one item per element of its grid, in the grid's
// order (for a uniform rectilinear grid row-major with the shape's last index fastest: row 0
// the one at the origin, the southern row here). Coordinates and spacings are in the grid's
// axis order (y before x), as are shapes.
#ifndef RUNOFF_BMI_BMI_H_
#define RUNOFF_BMI_BMI_H_

#include <string>
#include <vector>

namespace runoff {

inline constexpr int kBmiSuccess = 0;
inline constexpr int kBmiFailure = 1;
/// The longest name the interface's C binding passes (component, variable, units, type).
inline constexpr int kBmiMaxNameLength = 2048;

class Bmi {
 public:
  virtual ~Bmi() = default;

  // Model control.
  virtual int initialize(const std::string& config_file) = 0;
  virtual int update() = 0;
  virtual int update_until(double time) = 0;
  virtual int finalize() = 0;

  // Model information.
  virtual int get_component_name(std::string& name) const = 0;
  virtual int get_input_item_count(int& count) const = 0;
  virtual int get_output_item_count(int& count) const = 0;
  virtual int get_input_var_names(std::vector<std::string>& names) const = 0;
  virtual int get_output_var_names(std::vector<std::string>& names) const = 0;

  // Variable information.
  virtual int get_var_grid(const std::string& name, int& grid) const = 0;
  virtual int get_var_type(const std::string& name, std::string& type) const = 0;
  virtual int get_var_units(const std::string& name, std::string& units) const = 0;
  virtual int get_var_itemsize(const std::string& name, int& size) const = 0;
  virtual int get_var_nbytes(const std::string& name, int& nbytes) const = 0;
  virtual int get_var_location(const std::string& name, std::string& location) const = 0;

  // Time.
  virtual int get_current_time(double& time) const = 0;
  virtual int get_start_time(double& time) const = 0;
  virtual int get_end_time(double& time) const = 0;
  virtual int get_time_units(std::string& units) const = 0;
  virtual int get_time_step(double& step) const = 0;

  // Getters and setters. `dest` and `src` hold the variable's type; get_value_ptr hands out
  // the model's own array, valid until finalize().
  virtual int get_value(const std::string& name, void* dest) const = 0;
  virtual int get_value_ptr(const std::string& name, void** dest_ptr) = 0;
  virtual int get_value_at_indices(const std::string& name, void* dest, const int* inds,
                                   int count) const = 0;
  virtual int set_value(const std::string& name, const void* src) = 0;
  virtual int set_value_at_indices(const std::string& name, const int* inds, int count,
                                   const void* src) = 0;

  // Grid information.
  virtual int get_grid_rank(int grid, int& rank) const = 0;
  virtual int get_grid_size(int grid, int& size) const = 0;
  virtual int get_grid_type(int grid, std::string& type) const = 0;
  // Uniform rectilinear grids.
  virtual int get_grid_shape(int grid, int* shape) const = 0;
  virtual int get_grid_spacing(int grid, double* spacing) const = 0;
  virtual int get_grid_origin(int grid, double* origin) const = 0;
  // Rectilinear, structured quadrilateral and unstructured grids.
  virtual int get_grid_x(int grid, double* x) const = 0;
  virtual int get_grid_y(int grid, double* y) const = 0;
  virtual int get_grid_z(int grid, double* z) const = 0;
  // Unstructured grids.
  virtual int get_grid_node_count(int grid, int& count) const = 0;
  virtual int get_grid_edge_count(int grid, int& count) const = 0;
  virtual int get_grid_face_count(int grid, int& count) const = 0;
  virtual int get_grid_edge_nodes(int grid, int* edge_nodes) const = 0;
  virtual int get_grid_face_edges(int grid, int* face_edges) const = 0;
  virtual int get_grid_face_nodes(int grid, int* face_nodes) const = 0;
  virtual int get_grid_nodes_per_face(int grid, int* nodes_per_face) const = 0;

  /// The line that says why the last failing call failed.
  virtual const std::string& lastError() const = 0;
};

}  // namespace runoff

#endif  // RUNOFF_BMI_BMI_H_
