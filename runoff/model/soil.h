// The soil and groundwater of one cell between storms and during them: the soil routine of the
// HBV family with a linear groundwater reservoir under it. The water a loss method lets
// infiltrate enters a soil store S (mm) of capacity FC; the soil loses evapotranspiration
// PET x min(1, S / (LP x FC)) and percolation K x S / FC to a groundwater store G (mm), which
// drains as baseflow G / T. Water that would enter a full soil runs off as saturation excess.
//
// Each hour is one step with the hour's infiltration and PET constant over it, integrated
// without a time-stepping error:
// - the soil's equation dS/dt = I - E(S) - K S / FC is linear on each side of the threshold
//   LP x FC (E = PET above it, PET x S / (LP x FC) below) and its right-hand side falls as S
//   grows, so S moves monotonically towards its equilibrium and crosses the threshold, or
//   reaches FC, at most once an hour: the hour is solved exactly, piece by piece, with the
//   time of each crossing;
// - the groundwater takes the hour's percolation as a constant recharge R and is solved exactly
//   for it: G1 = G0 exp(-1/T) + R T (1 - exp(-1/T)).
// No store can go negative (every piece is an exponential approach to a non-negative level)
// and the fluxes of an hour are the differences of the stores, so the cell's balance
//   S1 + G1 = S0 + G0 + I - saturation excess - evapotranspiration - baseflow
// closes to rounding. A flux whose rate is zero (no PET, no percolation) is exactly zero.
//
// One cell's numbers in, one cell's numbers out: no I/O, no allocation; depths in mm, rates in
// mm/h, times in hours, double precision.
#ifndef RUNOFF_MODEL_SOIL_H_
#define RUNOFF_MODEL_SOIL_H_

#include <cstddef>

namespace runoff {

/// What holds for every cell of a run.
struct SoilRule {
  double etThreshold = 0.7;    // LP: the share of the capacity above which ET is at PET, (0, 1]
  double soilStart = 0.5;      // S at the start, as a share of the capacity, 0 to 1
  double baseflowStart = 0.0;  // baseflow at the start, mm/h (>= 0): G starts at this x T
};

/// One cell's values of the soil grids.
struct SoilParameters {
  double capacity = 0;      // FC, soilCapacity.bin: mm, > 0
  double percolation = 0;   // K, percolation.bin: mm/h from a full soil, >= 0
  double baseflowTime = 0;  // T, baseflowTime.bin: hours, > 0
};

/// What a cell carries from hour to hour, and across windows and restarts.
struct SoilState {
  double soil = 0;         // S, mm
  double groundwater = 0;  // G, mm
};

/// The values of a SoilState, in the order of its members: what a restart state stores.
inline constexpr std::size_t kSoilStateValues = 2;

/// The water of one hour, mm (the hour's mean rate in mm/h).
struct SoilHour {
  double saturationExcess = 0;    // infiltration a full soil could not take: runs off
  double evapotranspiration = 0;  // from the soil
  double percolation = 0;         // from the soil to the groundwater
  double baseflow = 0;            // from the groundwater: runs off
};

/// What an hour's step of one cell needs beside its inputs, formed once per cell from the rule
/// and the cell's parameters (the same operations on the same values every hour, so the same
/// bits).
struct SoilCell {
  double capacity = 0;         // FC, mm
  double threshold = 0;        // LP x FC, mm: below it ET falls with S
  double percolation = 0;      // K, mm/h
  double percolationPerMm = 0; // K / FC, 1/h
  double drainedShare = 0;     // 1 - exp(-1/T): the share of G that leaves within an hour
  double rechargeShare = 0;    // 1 - T (1 - exp(-1/T)): the share of an hour's recharge
                               // that leaves within the same hour
};

/// The constants of a cell. Needs capacity > 0, percolation >= 0, baseflowTime > 0 and
/// rule.etThreshold in (0, 1].
SoilCell prepareSoilCell(const SoilRule& rule, const SoilParameters& parameters);

/// The state at the start of a run: S = soilStart x FC, G = baseflowStart x T.
SoilState startingSoilState(const SoilRule& rule, const SoilParameters& cell);

/// Takes one hour of infiltration `infiltrationMmPerHour` (>= 0: the part of the rain the loss
/// method took) under potential evapotranspiration `petMmPerHour` (>= 0) on the cell, updates
/// `state` and returns the hour's fluxes. A state above the capacity is first brought to it
/// (the water runs off as saturation excess).
SoilHour stepSoil(const SoilCell& cell, SoilState& state, double infiltrationMmPerHour,
                  double petMmPerHour);
inline SoilHour stepSoil(const SoilRule& rule, const SoilParameters& cell, SoilState& state,
                         double infiltrationMmPerHour, double petMmPerHour) {
  return stepSoil(prepareSoilCell(rule, cell), state, infiltrationMmPerHour, petMmPerHour);
}

}  // namespace runoff

#endif  // RUNOFF_MODEL_SOIL_H_
