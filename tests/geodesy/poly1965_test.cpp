// The 1965 zone correction: the built-in table against the published
// figures (parameters of the ten sets, the zone-1 terms, the two origin
// examples), its size, its behaviour near the zones' origins, and the
// evaluation bit for bit against the plain row-by-row sum.
#include "geodesy/poly1965.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace egib {
namespace {

struct Published {
  int zone, variant, degree;
  double scale, x0, y0, out_x0, out_y0, a00, b00;
};

const Published kPublished[] = {
    {1, 1, 16, 3.16701285208058e-06, 5517488.50603, 4598889.1111, 5517488.53158, 4598889.14168,
     0.0193539931273024, 0.358936079010725},
    {1, 2, 16, 3.16700906695084e-06, 5517488.53158, 4598889.14168, 5517488.50603, 4598889.1111,
     -0.0193726745221114, -0.359050173874956},
    {2, 1, 16, 3.66728860991941e-06, 5796241.28401, 4559496.86327, 5796241.21486, 4559496.99075,
     -0.228710236388213, 0.177893946875018},
    {2, 2, 16, 3.66728281183833e-06, 5796241.21486, 4559496.99075, 5796241.28401, 4559496.86327,
     0.228731583493221, -0.17790390278591},
    {3, 1, 16, 3.76506426727652e-06, 5970419.49328, 3548547.30784, 5970419.3611, 3548547.29359,
     -0.0394883170273723, -0.158008214542041},
    {3, 2, 16, 3.76507921820784e-06, 5970419.3611, 3548547.29359, 5970419.49328, 3548547.30784,
     0.0394317490691277, 0.158016496734093},
    {4, 1, 16, 3.38504778871894e-06, 5619707.60717, 3751470.35185, 5619707.74836, 3751470.26874,
     -0.0204449835840226, 0.0306879938048835},
    {4, 2, 16, 3.38505646756076e-06, 5619707.74836, 3751470.26874, 5619707.60717, 3751470.35185,
     0.0204540343240172, -0.0304947711180302},
    {5, 1, 12, 4.68604484483043e-06, 908669.91787, 244104.09992, 908670.18005, 244104.06678,
     0.230404078005761, 0.063371115445086},
    {5, 2, 12, 4.6860488749539e-06, 908670.18005, 244104.06678, 908669.91787, 244104.09992,
     -0.230398038123317, -0.0633650327433464},
};

TEST(Poly1965, EverySetKeepsThePublishedParameters) {
  for (const Published& p : kPublished) {
    const Poly1965Set* s = poly1965_set(p.zone, p.variant);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->degree, p.degree);
    EXPECT_EQ(s->scale, p.scale);
    EXPECT_EQ(s->x0, p.x0);
    EXPECT_EQ(s->y0, p.y0);
    EXPECT_EQ(s->out_x0, p.out_x0);
    EXPECT_EQ(s->out_y0, p.out_y0);
    EXPECT_EQ(s->a[0][0], p.a00);
    EXPECT_EQ(s->b[0][0], p.b00);
    // Variant 2 starts where variant 1 ends and the reverse.
    const Poly1965Set* other = poly1965_set(p.zone, 3 - p.variant);
    EXPECT_EQ(s->x0, other->out_x0);
    EXPECT_EQ(s->y0, other->out_y0);
  }
  EXPECT_EQ(poly1965_set(0, 1), nullptr);
  EXPECT_EQ(poly1965_set(6, 1), nullptr);
  EXPECT_EQ(poly1965_set(1, 0), nullptr);
  EXPECT_EQ(poly1965_set(1, 3), nullptr);
}

// Terms of zone 1, variant 1 as published.
struct Term {
  int i, j;
  double a, b;
};
const Term kZone1Variant1[] = {
    {0, 0, 0.0193539931273024, 0.358936079010725}, {1, 0, 315754.537279187, 0.168909843307879},
    {0, 1, -1.38993070640004, 315754.558771577},   {2, 0, -4.59116269931439, -0.554597346058923},
    {1, 1, 0.350568082511636, -0.190392783225318}, {0, 2, -0.217974074707465, -5.02315602484321},
    {3, 0, 0.538592750303754, -1.17104313403779},  {2, 1, 4.95991879260738, 22.0926314053981},
    {1, 2, -35.1215666550958, -28.4493175693376},  {0, 3, 15.7365307692524, 22.3472599966765},
    {16, 0, -10649.6363336597, -26370.3995541193}, {0, 16, -3861.83699443616, -4266.07358481396},
};

TEST(Poly1965, ZoneOneTermsAsPublished) {
  const Poly1965Set* s = poly1965_set(1, 1);
  for (const Term& t : kZone1Variant1) {
    EXPECT_EQ(s->a[t.i][t.j], t.a) << t.i << "," << t.j;
    EXPECT_EQ(s->b[t.i][t.j], t.b) << t.i << "," << t.j;
  }
}

// Every cell of both triangles holds a coefficient (none of the published
// ones is 0), none outside them, and the linear terms are near 1/s: 153
// cells a triangle in zones 1 to 4, 91 in zone 5, 2,812 in all.
TEST(Poly1965, TrianglesFullAndNothingOutside) {
  int total = 0;
  for (const Published& p : kPublished) {
    const Poly1965Set* s = poly1965_set(p.zone, p.variant);
    int cells = 0;
    for (int i = 0; i < kPolyCells; ++i) {
      for (int j = 0; j < kPolyCells; ++j) {
        if (i + j <= s->degree) {
          cells += (s->a[i][j] != 0.0) + (s->b[i][j] != 0.0);
        } else {
          EXPECT_EQ(s->a[i][j], 0.0) << p.zone << "/" << p.variant << " " << i << "," << j;
          EXPECT_EQ(s->b[i][j], 0.0) << p.zone << "/" << p.variant << " " << i << "," << j;
        }
      }
    }
    EXPECT_EQ(cells, 2 * (p.degree == 16 ? 153 : 91)) << p.zone << "/" << p.variant;
    total += cells;
    EXPECT_NEAR(s->a[1][0] * s->scale, 1.0, 1e-5);
    EXPECT_NEAR(s->b[0][1] * s->scale, 1.0, 1e-5);
  }
  EXPECT_EQ(total, 2812);
}

TEST(Poly1965, OriginMapsToTheOutputOriginPlusConstantTerms) {
  double n = 5517488.50603, e = 4598889.1111;
  poly1965_transform(&n, &e, &n, &e, 1, 1);
  EXPECT_EQ(n, 5517488.550933993);
  EXPECT_EQ(e, 4598889.500616079);

  n = 908670.18005;
  e = 244104.06678;
  double on = 0, oe = 0;
  poly1965_transform(&n, &e, &on, &oe, 5, 2);
  EXPECT_EQ(on, 908669.6874719618);
  EXPECT_EQ(oe, 244104.03655496726);
  EXPECT_EQ(n, 908670.18005);  // inputs untouched
}

// Within 0.3 normalised units of the origin variant 1 moves a point by less
// than 0.6 m in each coordinate and variant 2 brings it back to within 2 mm;
// the correction is not a constant offset there (it varies by centimetres).
TEST(Poly1965, SmallChangeAndRoundTripOnRandomPointsOfEveryZone) {
  std::mt19937_64 rng(1965);
  std::uniform_real_distribution<double> unit(-0.3, 0.3);
  for (int zone = 1; zone <= 5; ++zone) {
    const Poly1965Set* s = poly1965_set(zone, 1);
    double worst_change = 0, worst_back = 0;
    double least_dn = INFINITY, most_dn = -INFINITY;
    for (int k = 0; k < 20000; ++k) {
      const double n = s->x0 + unit(rng) / s->scale;
      const double e = s->y0 + unit(rng) / s->scale;
      double n1 = 0, e1 = 0, n2 = 0, e2 = 0;
      poly1965_transform(&n, &e, &n1, &e1, zone, 1);
      poly1965_transform(&n1, &e1, &n2, &e2, zone, 2);
      worst_change = std::fmax(worst_change, std::fmax(std::fabs(n1 - n), std::fabs(e1 - e)));
      worst_back = std::fmax(worst_back, std::fmax(std::fabs(n2 - n), std::fabs(e2 - e)));
      least_dn = std::fmin(least_dn, n1 - n);
      most_dn = std::fmax(most_dn, n1 - n);
    }
    EXPECT_LT(worst_change, 0.6) << "zone " << zone;
    EXPECT_LT(worst_back, 0.002) << "zone " << zone;
    EXPECT_GT(most_dn - least_dn, 0.01) << "zone " << zone;
  }
}

TEST(Poly1965, InPlaceEqualsSeparateOutputs) {
  for (int zone = 1; zone <= 5; ++zone) {
    for (int variant = 1; variant <= 2; ++variant) {
      const Poly1965Set* s = poly1965_set(zone, variant);
      const double n = s->x0 + 12345.678, e = s->y0 - 23456.789;
      double on = 0, oe = 0;
      poly1965_transform(&n, &e, &on, &oe, zone, variant);
      double pn = n, pe = e;
      poly1965_transform(&pn, &pe, &pn, &pe, zone, variant);
      EXPECT_EQ(on, pn);
      EXPECT_EQ(oe, pe);
    }
  }
}

TEST(Poly1965, FarPointsAreTransformedSilently) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Poly1965Set* s = poly1965_set(3, 1);
  double n = s->x0 + 1 / s->scale, e = s->y0 - 1 / s->scale;
  const double n0 = n, e0 = e;
  poly1965_transform(&n, &e, &n, &e, 3, 1);
  EXPECT_TRUE(std::isfinite(n) && std::isfinite(e));
  // One normalised unit out the polynomial has left its fitting area.
  EXPECT_GT(std::fmax(std::fabs(n - n0), std::fabs(e - e0)), 10.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Poly1965, NoSetMeansNoChange) {
  double n = 5500000.25, e = 4600000.75;
  poly1965_transform(&n, &e, &n, &e, 6, 1);
  poly1965_transform(&n, &e, &n, &e, 1, 3);
  EXPECT_EQ(n, 5500000.25);
  EXPECT_EQ(e, 4600000.75);
}

// The evaluation in its plain form: every cell, i then j ascending, the
// powers built anew within every row.
void plain_evaluation(double n, double e, const Poly1965Set& s, double* on, double* oe) {
  const double u = (n - s.x0) * s.scale, v = (e - s.y0) * s.scale;
  *on = s.out_x0;
  *oe = s.out_y0;
  double pu = 1.0;
  for (int i = 0; i <= s.degree; ++i) {
    double pv = 1.0;
    for (int j = 0; j <= s.degree - i; ++j) {
      const double t = pu * pv;
      *on += t * s.a[i][j];
      *oe += t * s.b[i][j];
      pv *= v;
    }
    pu *= u;
  }
}

// NaN is NaN: its sign and payload are not part of any result.
bool same_bits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Poly1965, BitForBitThePlainEvaluation) {
  const double offsets[] = {0.0,  1.0,   -12345.678, 2e5, -3e5,    1e6,
                            1e40, -1e80, 1e300,      NAN, INFINITY};
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(-1.2, 1.2);
  for (int zone = 1; zone <= 5; ++zone) {
    for (int variant = 1; variant <= 2; ++variant) {
      const Poly1965Set& s = *poly1965_set(zone, variant);
      const auto check = [&](double n, double e) {
        double want_n = 0, want_e = 0, got_n = 0, got_e = 0;
        plain_evaluation(n, e, s, &want_n, &want_e);
        poly1965_transform(&n, &e, &got_n, &got_e, zone, variant);
        EXPECT_TRUE(same_bits(want_n, got_n)) << zone << "/" << variant << " " << n << " " << e;
        EXPECT_TRUE(same_bits(want_e, got_e)) << zone << "/" << variant << " " << n << " " << e;
      };
      for (const double dn : offsets) {
        for (const double de : offsets) check(s.x0 + dn, s.y0 + de);
      }
      for (int k = 0; k < 2000; ++k) check(s.x0 + unit(rng) / s.scale, s.y0 + unit(rng) / s.scale);
    }
  }
}

}  // namespace
}  // namespace egib
