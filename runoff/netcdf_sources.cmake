# The sources of the model's NetCDF writer, which need the NetCDF C library and HDF5: the
# model's library builds them apart (runoff_netcdf), runoff-sim-mpi against the library's MPI
# build, and builds that do without NetCDF (the fuzz targets, bench/fuzz) leave them out.
set(RUNOFF_NETCDF_SOURCES ${CMAKE_CURRENT_LIST_DIR}/output/discharge_netcdf_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/output/netcdf_sink.cpp)
