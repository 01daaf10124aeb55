// The vector and arithmetic primitives through their dispatch entries:
// argument checks that write nothing, and the arithmetic at its edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "g729/g729.h"
#include "primitive_entries.h"

namespace {

// A status case: the call, the status it must return, and a buffer that
// it must leave untouched.
struct StatusCase {
  const char* name;
  int32_t expected;
  std::function<int32_t(int16_t* out)> call;
};

void ExpectStatusesWithoutWrites(const std::vector<StatusCase>& cases) {
  for (const StatusCase& c : cases) {
    int16_t out[8];
    for (int16_t& v : out) v = 0x5555;
    EXPECT_EQ(c.expected, c.call(out)) << c.name;
    for (int16_t v : out) EXPECT_EQ(0x5555, v) << c.name << " wrote after a failed check";
  }
}

const int16_t kIn[8] = {1, -2, 3, -4, 5, -6, 7, -8};

TEST(VectorEntries, FailedChecksReturnTheirStatusAndWriteNothing) {
  int32_t out32 = 0x5555;
  int32_t shift = 0x5555;
  ExpectStatusesWithoutWrites({
      {"zero of a null vector", -8, [](int16_t*) { return G729VecZero16(nullptr, 4); }},
      {"zero of no samples", -6, [](int16_t* o) { return G729VecZero16(o, 0); }},
      {"copy of a negative length", -6, [](int16_t* o) { return G729VecCopy16(kIn, o, -1); }},
      {"copy from null", -8, [](int16_t* o) { return G729VecCopy16(nullptr, o, 4); }},
      {"move of no samples", -6, [](int16_t* o) { return G729VecMove16(kIn, o, 0); }},
      {"subtraction with a null operand", -8, [](int16_t* o) { return G729VecSub16(kIn, nullptr, o, 4); }},
      {"subtraction in place of no samples", -6, [](int16_t* o) { return G729VecSubInPlace16(kIn, o, 0); }},
      {"addition into null", -8, [](int16_t*) { return G729VecAdd16(kIn, kIn, nullptr, 4); }},
      {"right shift by a negative count", -32, [](int16_t* o) { return G729VecShiftRightInPlace16(-1, o, 4); }},
      {"left shift by a negative count", -32, [](int16_t* o) { return G729VecShiftLeftInPlace16(-3, o, 4); }},
      {"bad shift and bad length: the length first", -6,
       [](int16_t* o) { return G729VecShiftLeftInPlace16(-3, o, 0); }},
      {"copying right shift by a negative count", -32, [](int16_t* o) { return G729VecShiftRight16(kIn, -1, o, 4); }},
      {"copying left shift by 16 of no samples", -6, [](int16_t* o) { return G729VecShiftLeft16(kIn, 16, o, 0); }},
      {"scaled product by a negative scale", -13, [](int16_t* o) { return G729VecMulScaled16(kIn, kIn, o, 4, -1); }},
      {"scaled product: the length before the scale", -6,
       [](int16_t* o) { return G729VecMulScaled16(kIn, kIn, o, 0, -1); }},
      {"shifted products: the scale before the length", -13,
       [](int16_t* o) { return G729VecMulAddShifted16(kIn, 1, kIn, 1, o, 0, -1); }},
      {"weighted sum: the scale before the length", -13,
       [](int16_t* o) { return G729VecWeightedSum16(kIn, 1, kIn, 1, o, -4, -2); }},
      {"weighted sum of no samples", -6, [](int16_t* o) { return G729VecWeightedSum16(kIn, 1, kIn, 1, o, 0, 0); }},
      {"constant product by a negative scale", -13,
       [](int16_t* o) { return G729VecMulConst16(kIn, 3, o, 4, -1); }},
      {"constant product in place by a negative scale", -13,
       [](int16_t* o) { return G729VecMulConstInPlace16(3, o, 4, -1); }},
      {"average into null", -8, [](int16_t*) { return G729VecAverage16(kIn, kIn, nullptr, 4); }},
      {"constant sum of no samples", -6, [](int16_t* o) { return G729VecAddConstInPlace16(5, o, 0); }},
      {"scaled sum with a null operand", -8, [](int16_t* o) { return G729VecAddScaledInPlace16(nullptr, o, 4, 1); }},
      {"minimum into null", -8, [](int16_t*) { return G729VecMin16(kIn, 4, nullptr); }},
      {"maximum of no samples", -6, [](int16_t* o) { return G729VecMax16(kIn, 0, o); }},
      {"dot product into null", -8, [](int16_t*) { return G729DotProduct16(kIn, kIn, 4, nullptr, 0); }},
      {"dot product of no samples", -6, [&](int16_t*) { return G729DotProduct16(kIn, kIn, 0, &out32, 0); }},
      {"scaled dot product without a shift output", -8,
       [&](int16_t*) { return G729DotProductAutoScale(kIn, kIn, 4, &out32, nullptr); }},
      {"scaled dot product of no samples", -6,
       [&](int16_t*) { return G729DotProductAutoScale(kIn, kIn, 0, &out32, &shift); }},
      {"inverse square roots of no values", -6, [&](int16_t*) { return G729InvSqrtVec(&out32, 0); }},
      {"energy of no samples", -6, [&](int16_t*) { return G729Energy16(kIn, 0, 0, &out32); }},
  });
  EXPECT_EQ(0x5555, out32);
  EXPECT_EQ(0x5555, shift);
}

// One output sample of a primitive on given inputs.
struct ValueCase {
  const char* name;
  std::function<int32_t()> value;
  int32_t expected;
};

int16_t Out1(const std::function<int32_t(int16_t*)>& f) {
  int16_t v = 0x5555;
  EXPECT_EQ(0, f(&v));
  return v;
}

int32_t Dot(int16_t x, int16_t y, int32_t n, int32_t sf) {
  std::vector<int16_t> a(n, x), b(n, y);
  int32_t out = 0x5555;
  EXPECT_EQ(0, G729DotProduct16(a.data(), b.data(), n, &out, sf));
  return out;
}

int32_t InvSqrt1(int32_t x) {
  EXPECT_EQ(0, G729InvSqrtVec(&x, 1));
  return x;
}

TEST(VectorEntries, ArithmeticSaturatesWrapsAndRoundsAsSpecified) {
  const int16_t one = 1, minus_one = -1, big = 0x4000, minus5 = -5, max = 32767, min = -32768;
  const ValueCase cases[] = {
      {"-32768 less 1 stays -32768", [&] { return Out1([&](int16_t* o) { *o = min; return G729VecSubInPlace16(&one, o, 1); }); }, -32768},
      {"32767 less -1 stays 32767", [&] { return Out1([&](int16_t* o) { *o = max; return G729VecSubInPlace16(&minus_one, o, 1); }); }, 32767},
      {"0x4000 shifted left by 1 wraps", [&] { return Out1([&](int16_t* o) { *o = big; return G729VecShiftLeftInPlace16(1, o, 1); }); }, -32768},
      {"a left shift by 16 zeroes", [&] { return Out1([&](int16_t* o) { *o = max; return G729VecShiftLeftInPlace16(16, o, 1); }); }, 0},
      {"-5 shifted right by 20 acts as 15", [&] { return Out1([&](int16_t* o) { *o = minus5; return G729VecShiftRightInPlace16(20, o, 1); }); }, -1},
      {"dot product 3 at sf 1", [] { return Dot(1, 3, 1, 1); }, 2},
      {"dot product 5 at sf 1 (tie to even)", [] { return Dot(1, 5, 1, 1); }, 2},
      {"dot product 7 at sf 1 (tie to even)", [] { return Dot(1, 7, 1, 1); }, 4},
      {"dot product -3 at sf 1", [] { return Dot(1, -3, 1, 1); }, -2},
      {"full-scale sum saturates at sf 0", [] { return Dot(-32768, -32768, 4, 0); }, 0x7fffffff},
      {"full-scale sum exact at sf 2", [] { return Dot(-32768, -32768, 4, 2); }, 0x40000000},
      {"a negative sf shifts left with saturation", [] { return Dot(1, 3, 1, -31); }, 0x7fffffff},
      {"a negative sf keeps small values", [] { return Dot(1, -3, 1, -4); }, -48},
      {"1 + 2 at sf 1 (tie to even)", [&] { return Out1([&](int16_t* o) { *o = 2; return G729VecAddScaledInPlace16(&one, o, 1, 1); }); }, 2},
      {"1 + 0 at sf 1 (tie to even)", [&] { return Out1([&](int16_t* o) { *o = 0; return G729VecAddScaledInPlace16(&one, o, 1, 1); }); }, 0},
      {"scaled sum above sf 16 zeroes", [&] { return Out1([&](int16_t* o) { *o = 9; return G729VecAddScaledInPlace16(&max, o, 1, 17); }); }, 0},
      {"scaled sum at sf -3 saturates", [&] { return Out1([&](int16_t* o) { *o = 9000; return G729VecAddScaledInPlace16(&one, o, 1, -3); }); }, 32767},
      {"scaled sum below sf -15 keeps the sign", [&] { return Out1([&](int16_t* o) { *o = -2; return G729VecAddScaledInPlace16(&one, o, 1, -16); }); }, -32768},
      {"32767 squared at sf 15", [&] { return Out1([&](int16_t* o) { return G729VecMulScaled16(&max, &max, o, 1, 15); }); }, 32766},
      {"-32768 squared at sf 15 saturates", [&] { return Out1([&](int16_t* o) { return G729VecMulScaled16(&min, &min, o, 1, 15); }); }, 32767},
      {"weighted sum formed in 64 bits", [&] { return Out1([&](int16_t* o) { return G729VecWeightedSum16(&min, min, &min, min, o, 1, 16); }); }, 32767},
      {"shifted products each shifted before the sum", [&] { return Out1([&](int16_t* o) { return G729VecMulAddShifted16(&one, 1, &one, 1, o, 1, 1); }); }, 0},
      {"average of the extremes", [&] { return Out1([&](int16_t* o) { return G729VecAverage16(&max, &min, o, 1); }); }, -1},
      {"constant added with saturation", [&] { return Out1([&](int16_t* o) { *o = max; return G729VecAddConstInPlace16(1, o, 1); }); }, 32767},
      {"constant product rounded", [&] { return Out1([&](int16_t* o) { *o = 3; return G729VecMulConstInPlace16(16384, o, 1, 15); }); }, 2},
      {"inverse square root of 0", [] { return InvSqrt1(0); }, 0x3fffffff},
      {"inverse square root of -1", [] { return InvSqrt1(-1); }, 0x3fffffff},
      {"inverse square root of 0x40000000", [] { return InvSqrt1(0x40000000); }, 32767},
      {"norm of 1", [] { return G729Norm32(1); }, 30},
      {"norm of -2^31", [] { return G729Norm32(INT32_MIN); }, 0},
      {"norm of 0", [] { return G729Norm32(0); }, 0},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(c.expected, c.value()) << c.name;
}

TEST(VectorEntries, CopiesMovesAndExtremesCoverTheWholeLength) {
  std::vector<int16_t> v(37);
  for (size_t i = 0; i < v.size(); i++) v[i] = (int16_t)((i * 7919) % 2001 - 1000);
  int16_t lo = 0, hi = 0;
  ASSERT_EQ(0, G729VecMin16(v.data(), (int32_t)v.size(), &lo));
  ASSERT_EQ(0, G729VecMax16(v.data(), (int32_t)v.size(), &hi));
  EXPECT_EQ(*std::min_element(v.begin(), v.end()), lo);
  EXPECT_EQ(*std::max_element(v.begin(), v.end()), hi);

  // Overlapping moves in both directions keep the values.
  std::vector<int16_t> up = v, down = v;
  ASSERT_EQ(0, G729VecMove16(up.data(), up.data() + 3, 30));
  ASSERT_EQ(0, G729VecMove16(down.data() + 3, down.data(), 30));
  for (int i = 0; i < 30; i++) {
    EXPECT_EQ(v[i], up[i + 3]);
    EXPECT_EQ(v[i + 3], down[i]);
  }
  std::vector<int16_t> copy(v.size() + 1, 0x5555);
  ASSERT_EQ(0, G729VecCopy16(v.data(), copy.data(), (int32_t)v.size()));
  EXPECT_EQ(v, std::vector<int16_t>(copy.begin(), copy.end() - 1));
  EXPECT_EQ(0x5555, copy.back());
}

TEST(VectorEntries, ScaledDotProductRaisesTheShiftsInTurnUntilTheSumFits) {
  const struct {
    const char* name;
    int16_t x, y;
    int32_t n, sum, shift;
  } cases[] = {
      {"a small sum needs no shift", 3, 4, 3, 3 * 4 * 5, 0},
      // 79 products of 2^30 need 2^6 less: y, x, y, x, y, x raised by one.
      {"full scale needs shifts on both sides", -32768, -32768, 40, (1 << 24) * 79, 6},
      {"x is raised after y", -32768, 32767, 3, -16384 * 16383 * 5, 2},
  };
  for (const auto& c : cases) {
    std::vector<int16_t> x(c.n, c.x), y(c.n, c.y);
    int32_t sum = 0, shift = -1;
    ASSERT_EQ(0, G729DotProductAutoScale(x.data(), y.data(), c.n, &sum, &shift)) << c.name;
    EXPECT_EQ(c.shift, shift) << c.name;
    EXPECT_EQ(c.sum, sum) << c.name;
  }
}

}  // namespace
