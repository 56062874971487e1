"""Shared code of the basin tools (prepare-basin, prepare-rain, check-basin).

Each module holds one concept: the working directory's files, the D8 drainage network, the
geographic grid of the DEM, GRASS's hydrological conditioning, basins, and the rainfall data.
"""
