// The core's power function, pow(x, y) = exp(y log x), as one kernel written
// over a type of lanes (one double, or four with AVX2): every build performs
// the same correctly rounded operations in the same order, so all give the
// same bits.
//
// Method: table-driven log and exp in double-double arithmetic, with fused
// multiply-adds (std::fma where the processor has none: still exact).
// - log x: x = 2^k z, z in [0.7056, 1.4112); a table of 128 entries by the
//   top mantissa bits of z gives 1/c, chosen so that r = z/c - 1 is exact in
//   one fused multiply-add (|r| < 2^-7), and log c as a multiple of 2^-42
//   plus a tail, so that k ln2 + log c adds exactly. log x = k ln2 + log c +
//   log1p(r), log1p by r - r^2/2 (exact, as a pair) and a degree-9 Taylor
//   polynomial; the sum is carried as hi + lo, relative error about 2^-68.
// - y log x = t as hi + lo by fused multiply-adds.
// - exp t: t = (j + 128 e) ln2/128 + r, |r| <= ln2/256; exp t = 2^e
//   2^(j/128) (1 + expm1 r), 2^(j/128) from a table of 128 doubles with
//   their relative tails, expm1 by a degree-6 Taylor polynomial.
// The tables are generated from 60-digit decimal arithmetic
// (tools/gen/power_tables.py). Lanes outside the fast range (x not positive
// and normal, |y log x| > 708, or not finite) go to the C library's pow,
// which also gives every special value.
//
// Accuracy: below one unit in the last place. Measured: at most 0.506 ulp
// against long double powl, over 4 million (x, y) with x = e^u, u uniform in
// [-40, 40], y uniform in [-20, 20] or one of the usual fatigue exponents,
// and 4 million with x = 1 + d, |d| < 1e-6, 10^3 <= |y| <= 10^7
// (bench/core/power_accuracy.cpp; every build gives the same bits).
#pragma once

#include "isa/isa.hpp"

#include <cstdint>

// The tables: plain data, the same for every build.
namespace cyclewright::detail {
// Padded to whole vector loads: one load fetches an entry for one lane.
struct alignas(32) LogEntry {
    double invc, logc, logc_tail, unused = 0;
};
struct alignas(16) ExpEntry {
    double value, tail;
};
#include "isa/power_tables.inc"
}  // namespace cyclewright::detail

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// Taylor coefficients of log1p(r) - r + r^2/2 = r^3 (1/3 - r/4 + ...), to r^9:
// with |r| < 2^-7 the first term left out is below 2^-73.
inline constexpr double kLog3 = 1.0 / 3, kLog4 = -1.0 / 4, kLog5 = 1.0 / 5, kLog6 = -1.0 / 6,
                        kLog7 = 1.0 / 7, kLog8 = -1.0 / 8, kLog9 = 1.0 / 9;
// expm1(r) = r + r^2 (1/2 + r/6 + ...), to r^6: |r| <= 2^-8.5 leaves < 2^-71.
inline constexpr double kExp2 = 0.5, kExp3 = 1.0 / 6, kExp4 = 1.0 / 24, kExp5 = 1.0 / 120,
                        kExp6 = 1.0 / 720;
// exp(t) for |t| <= 708 is a normal, finite double.
inline constexpr double kFastLimit = 708.0;
inline constexpr double kRoundShift = 0x1.8p52;  // adding it rounds to an integer

// Ops provides, over its lane type V (integer lanes I, masks M): fma, add,
// sub, mul, splat, gather of the tables, bit casts and shifts; see
// scalar_power.hpp and four_lane_power.hpp.
template <class Ops>
struct PowerKernel {
    using V = typename Ops::V;
    using I = typename Ops::I;
    using M = typename Ops::M;  // a lane mask

    // s = a + b exactly as s + e (no condition on the magnitudes).
    static void two_sum(V a, V b, V& s, V& e) {
        s = Ops::add(a, b);
        const V bb = Ops::sub(s, a);
        e = Ops::add(Ops::sub(a, Ops::sub(s, bb)), Ops::sub(b, bb));
    }

    // log x as hi + lo, for positive normal x.
    static void log(V x, V& hi, V& lo) {
        const I ix = Ops::bits(x);
        const I tmp = Ops::isub(ix, Ops::isplat(kLogOffset));
        const I index = Ops::iand(Ops::srl(tmp, 52 - kTableBits), Ops::isplat(127));
        const V k = Ops::exponent_of(tmp);  // tmp >> 52, arithmetic, as a double
        const V z = Ops::from_bits(Ops::isub(ix, Ops::iand(tmp, Ops::isplat(0xfffULL << 52))));
        V invc, logc, logc_tail;
        Ops::gather_log(index, invc, logc, logc_tail);

        const V r = Ops::fma(z, invc, Ops::splat(-1.0));  // exact
        // k ln2 + log c + r, with the rounding errors kept.
        // k * kLn2Hi and log c lie on the grid of 2^-42: their sum is exact.
        const V t1 = Ops::fma(k, Ops::splat(kLn2Hi), logc);
        V t2, e2;
        two_sum(t1, r, t2, e2);
        const V lo1 = Ops::fma(k, Ops::splat(kLn2Lo), logc_tail);
        // - r^2 / 2, exactly as ar2 + e3.
        const V ar = Ops::mul(Ops::splat(-0.5), r);
        const V ar2 = Ops::mul(r, ar);
        const V e3 = Ops::fma(ar, r, Ops::neg(ar2));
        V h, e4;
        two_sum(t2, ar2, h, e4);
        const V r2 = Ops::mul(r, r);
        const V p = Ops::mul(
            Ops::mul(r2, r),
            Ops::fma(r, Ops::fma(r, Ops::fma(r, Ops::fma(r, Ops::fma(r, Ops::fma(r, Ops::splat(kLog9),
                                                                                    Ops::splat(kLog8)),
                                                                       Ops::splat(kLog7)),
                                                          Ops::splat(kLog6)),
                                             Ops::splat(kLog5)),
                                Ops::splat(kLog4)),
                     Ops::splat(kLog3)));
        const V l = Ops::add(Ops::add(Ops::add(lo1, e2), Ops::add(e3, e4)), p);
        hi = Ops::add(h, l);
        lo = Ops::add(Ops::sub(h, hi), l);
    }

    // exp(hi + lo) for |hi| <= kFastLimit, |lo| tiny against hi.
    static V exp(V hi, V lo) {
        const V shifted = Ops::fma(hi, Ops::splat(kNByLn2), Ops::splat(kRoundShift));
        const I ki = Ops::bits(shifted);
        const V kd = Ops::sub(shifted, Ops::splat(kRoundShift));
        // r = hi - kd ln2/128 + lo; kd * kLn2ByNHi is exact.
        V r = Ops::fma(Ops::neg(kd), Ops::splat(kLn2ByNHi), hi);
        r = Ops::fma(Ops::neg(kd), Ops::splat(kLn2ByNLo), r);
        r = Ops::add(r, lo);
        const I index = Ops::iand(ki, Ops::isplat(127));
        V value, tail;
        Ops::gather_exp(index, value, tail);
        // 2^(ki / 128): the table's 2^(j/128) with ki >> 7 added to its exponent.
        const V scale = Ops::from_bits(Ops::iadd(Ops::bits(value), Ops::sll(Ops::srl(ki, 7), 52)));
        const V r2 = Ops::mul(r, r);
        const V poly = Ops::fma(
            r, Ops::fma(r, Ops::fma(r, Ops::fma(r, Ops::splat(kExp6), Ops::splat(kExp5)), Ops::splat(kExp4)),
                        Ops::splat(kExp3)),
            Ops::splat(kExp2));
        const V m1 = Ops::add(tail, Ops::fma(r2, poly, r));  // (1 + tail)(1 + expm1 r) - 1, to 2^-62
        return Ops::fma(scale, m1, scale);
    }

    // The fast result and whether it stands: false for lanes that the
    // library's pow must compute (x not positive and normal, y or y log x
    // not finite or too large).
    static V pow(V x, V y, M& fast) {
        V lhi, llo;
        log(x, lhi, llo);
        const V thi = Ops::mul(y, lhi);
        const V tlo = Ops::fma(y, llo, Ops::fma(y, lhi, Ops::neg(thi)));
        fast = Ops::both(Ops::positive_normal(x), Ops::abs_at_most(thi, kFastLimit));
        return exp(thi, tlo);
    }
};

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
