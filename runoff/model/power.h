// The kernel's own power function x^y: a scalar form and a form that takes four values at a
// time with AVX2, which give the same bits for every input on every processor. Both are built
// from correctly rounded IEEE double operations (+ - * and no fused multiply-add) and integer
// bit manipulation in one fixed sequence, so the result depends neither on the instruction set
// picked at run time nor on the compiler. The C library's pow gives results of the same
// accuracy but not always the same last bit (and its implementation is picked at run time by
// the processor's features); docs/power.md gives the algorithm and the measured error.
//
// Algorithm: ln x = k ln 2 + ln(1/invc) + ln(1 + r) with x = 2^k z, invc from a table of 128
// pieces of z's range and r = z invc - 1 formed exactly, carried as a head and a tail (about
// 2^-70 apart); y ln x as a head and a tail; e^(y ln x) = 2^(m/128) e^s from a table of 128
// values of 2^(j/128) and a polynomial in |s| <= ln 2 / 256. The tables are generated in
// 128-bit arithmetic by runoff/model/tables/generate_power_tables.cpp.
#ifndef RUNOFF_MODEL_POWER_H_
#define RUNOFF_MODEL_POWER_H_

#include <cstddef>

namespace runoff {

/// x^y. Built for x >= 0 and the kernel's exponents (0 < y < 1), correct for every double:
/// special values follow the C library's pow (x^0 = 1, 1^y = 1, 0^y = 0 for y > 0 and +inf
/// for y < 0, a negative x gives NaN unless y is an integer, NaN propagates). The error is
/// below 0.51 units in the last place wherever the result is a normal double; a result in the
/// subnormal range is rounded twice (below 1 unit in the last place).
double power(double x, double y);

/// out[i] = power(x[i], y[i]) for i < n, bit for bit, four at a time with AVX2 where the
/// processor has it and one at a time elsewhere. `out` may alias `x` or `y`.
void powers(const double* x, const double* y, double* out, std::size_t n);

/// The two ways powers() can take: one value at a time, and four at a time with AVX2. The
/// second may be called only where powersAvx2Available() says so. For tests and benchmarks.
void powersOneByOne(const double* x, const double* y, double* out, std::size_t n);
void powersAvx2(const double* x, const double* y, double* out, std::size_t n);
bool powersAvx2Available();

}  // namespace runoff

#endif  // RUNOFF_MODEL_POWER_H_
