// Deterministic generator of realistic SWDE files for tests, benchmarks and
// the bundled sample.
//
// The file describes a block of parcels on a jittered grid.  Grid corners and
// points along the parcel edges are point objects (G5PZG) shared by the
// neighbouring parcels; parcels reference them by identifier (P,P) and some
// by second identifier (P,K).  Most parcels carry a building whose corners are
// point objects too, some buildings are given by inline coordinates (P,G),
// every fiftieth parcel has a hole, each precinct has an outline, and the
// file has the "SN", "SP" and "ST" sections, comments and national letters in
// ISO 8859-2.  With --sample it also holds the odd cases of the bundled
// sample: a parcel around an enclave (a "K,-" ring in the same list, and the
// enclave as a parcel of its own), a building with a courtyard, a point
// without coordinates and a reference to a point that does not exist.
// With --register it holds the rest of a register too: a cadastral unit
// (G5JEW), land-use contours (G5KLU) with use codes and soil classes over
// every parcel, an address (G5ADR) for every building, which refers to it,
// the registration units (G5JRG) the parcels refer to (but the last one,
// which the file lacks), persons (G5OSF) and an institution (G5INS) with
// their shares (G5UDZ), a document (G5DOK) with a description longer than
// a dBase text holds, attributes given twice, dates, and "TD" blocks in
// "ST" that declare some of the types.
//
//   gen_swde --parcels N [--edge-points K] [--seed S] [--north N] [--east E] [--sample]
//            [--register] OUTPUT
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
  long parcels = 30;
  int edge_points = 2;  // points inside every parcel edge
  uint64_t seed = 1;
  double north = 5806000.0;  // 1965 zone 2 centre by default
  double east = 4603000.0;
  bool sample_extras = false;     // the odd cases of the bundled sample
  bool register_objects = false;  // the other object types of a register
  const char* output = nullptr;
};

class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  uint64_t next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 7;
    s_ ^= s_ << 17;
    return s_;
  }
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t s_;
};

class Out {
 public:
  explicit Out(std::FILE* f) : f_(f) { buf_.reserve(1 << 20); }
  ~Out() { flush(); }
  Out& operator<<(const char* s) {
    buf_ += s;
    if (buf_.size() > (1 << 20)) flush();
    return *this;
  }
  Out& operator<<(const std::string& s) { return *this << s.c_str(); }
  void flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) {
      std::perror("gen_swde");
      std::exit(1);
    }
    buf_.clear();
  }

 private:
  std::FILE* f_;
  std::string buf_;
};

std::string coord(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.2f", v);
  return s;
}

struct Pt {
  double n, e;
};

// In the sample: the parcel around an enclave and the building with a
// courtyard.
constexpr long kEnclaveAround = 15;
constexpr long kCourtyardBuilding = 3;

int usage() {
  std::fputs(
      "usage: gen_swde --parcels N [--edge-points K] [--seed S] [--north N] [--east E]"
      " [--sample] [--register] OUTPUT\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--parcels" && (v = value())) {
      o.parcels = std::atol(v);
    } else if (a == "--edge-points" && (v = value())) {
      o.edge_points = std::atoi(v);
    } else if (a == "--seed" && (v = value())) {
      o.seed = std::strtoull(v, nullptr, 10);
    } else if (a == "--north" && (v = value())) {
      o.north = std::atof(v);
    } else if (a == "--east" && (v = value())) {
      o.east = std::atof(v);
    } else if (a == "--sample") {
      o.sample_extras = true;
    } else if (a == "--register") {
      o.register_objects = true;
    } else if (!a.empty() && a[0] != '-' && o.output == nullptr) {
      o.output = argv[i];
    } else {
      return usage();
    }
  }
  if (o.output == nullptr || o.parcels < 1 || o.edge_points < 0) return usage();
  std::FILE* f = std::fopen(o.output, "wb");
  if (f == nullptr) {
    std::perror(o.output);
    return 1;
  }

  Rng rng(o.seed);
  const long cols =
      std::max(1L, static_cast<long>(std::ceil(std::sqrt(static_cast<double>(o.parcels)))));
  const long rows = (o.parcels + cols - 1) / cols;
  const double cell = 30.0;
  const long per_precinct_rows = 40;
  const int k = o.edge_points;

  // Grid corners, jittered.
  std::vector<Pt> corner(static_cast<size_t>((rows + 1) * (cols + 1)));
  for (long r = 0; r <= rows; ++r) {
    for (long c = 0; c <= cols; ++c) {
      const double jn = (r == 0 || r == rows) ? 0 : (rng.uniform() - 0.5) * 6.0;
      const double je = (c == 0 || c == cols) ? 0 : (rng.uniform() - 0.5) * 6.0;
      corner[static_cast<size_t>(r * (cols + 1) + c)] = {
          o.north + r * cell + jn + rng.uniform() * 0.01,
          o.east + c * cell + je + rng.uniform() * 0.01};
    }
  }
  auto corner_id = [&](long r, long c) { return "C" + std::to_string(r * (cols + 1) + c); };
  auto corner_alt = [&](long r, long c) { return "K" + std::to_string(r * (cols + 1) + c); };
  // Edge points: horizontal edge (r, c)-(r, c+1) and vertical edge (r, c)-(r+1, c).
  auto hedge_id = [&](long r, long c, int j) {
    return "H" + std::to_string(r * cols + c) + "." + std::to_string(j);
  };
  auto vedge_id = [&](long r, long c, int j) {
    return "V" + std::to_string(r * (cols + 1) + c) + "." + std::to_string(j);
  };
  auto lerp = [](Pt a, Pt b, double t) { return Pt{a.n + (b.n - a.n) * t, a.e + (b.e - a.e) * t}; };
  auto at = [&](long r, long c) { return corner[static_cast<size_t>(r * (cols + 1) + c)]; };

  Out out(f);
  out << "SWDE.w.3.00\n";
  out << "C,Plik wymiany danych EGiB - obr\xEA"
         "b testowy, gmina \xA3\xB1"
         "ka\n";
  out << "SN\nNS,TEST\nNU,egib2shp gen_swde\nSX\n";
  out << "SP\nB,1,,Kowalski,Jan\nW,1,,\xA3\xF3"
         "d\xBC,ul. \xA6"
         "wi\xEAtokrzyska 1\nSX\n";
  out << "ST\nTD,G5DZE\nSX,nie ko\xF1"
         "czy sekcji\nX\nTD,G5BUD\nX\n";
  if (o.register_objects) {
    // Declared order and types: the unit's number a text though it looks
    // like one, the area a number.
    out << "TD,RO,G5JRG\nTA,G5RJR,N\nTA,G5IJR,C\nTA,G5DTW,D\nX\n"
           "TD,RO,G5KLU\nTA,G5OFU,C\nTA,G5OZU,C\nTA,G5OZK,C\nTA,G5POW,N\nX\n";
  }
  out << "SX\n";
  out << "SO\n";

  auto point = [&](const std::string& id, const std::string& alt, Pt p, long nr) {
    out << "RP,,"
        << "G5PZG," << id << "," << alt << "\nP,G," << coord(p.n) << "," << coord(p.e)
        << "\nD,G5NRP,," << std::to_string(nr) << "\nD,G5STB,,1\nX\n";
  };

  long nr = 1;
  for (long r = 0; r <= rows; ++r) {
    for (long c = 0; c <= cols; ++c) point(corner_id(r, c), corner_alt(r, c), at(r, c), nr++);
  }
  for (long r = 0; r <= rows; ++r) {
    for (long c = 0; c < cols; ++c) {
      for (int j = 1; j <= k; ++j) {
        point(hedge_id(r, c, j), "", lerp(at(r, c), at(r, c + 1), j / (k + 1.0)), nr++);
      }
    }
  }
  for (long r = 0; r < rows; ++r) {
    for (long c = 0; c <= cols; ++c) {
      for (int j = 1; j <= k; ++j) {
        point(vedge_id(r, c, j), "", lerp(at(r, c), at(r + 1, c), j / (k + 1.0)), nr++);
      }
    }
  }
  if (o.sample_extras) {
    out << "C,punkt bez wsp\xF3\xB3rz\xEA"
           "dnych\nRP,,G5PZG,BEZWSP,\nD,G5NRP,,?\nX\n";
  }

  // Precincts: one outline per band of rows, inline coordinates.
  for (long band = 0; band * per_precinct_rows < rows; ++band) {
    const long r0 = band * per_precinct_rows;
    const long r1 = std::min(rows, r0 + per_precinct_rows);
    std::string number = std::to_string(band + 1);
    number.insert(0, number.size() < 4 ? 4 - number.size() : 0, '0');
    out << "RO,,G5OBR,OBR" << std::to_string(band + 1) << "\nD,G5IDR,,146518_8." << number
        << "\nD,G5NRO,," << number
        << "\nD,G5NAZ,,Obr\xEA"
           "b "
        << std::to_string(band + 1)
        << " \xA3\xEA"
           "czyca\nGL\nK,+\n";
    for (const Pt p : {at(r0, 0), at(r1, 0), at(r1, cols), at(r0, cols), at(r0, 0)}) {
      out << "P,G," << coord(p.n) << "," << coord(p.e) << "\n";
    }
    out << "X\n";
  }

  long parcel_no = 0;
  long building_no = 0;
  std::vector<std::string> buildings_for_addresses;  // the parcel of each building
  for (long r = 0; r < rows; ++r) {
    const std::string obr = [&] {
      char s[24];
      std::snprintf(s, sizeof s, "%04ld", r / per_precinct_rows + 1);
      return std::string(s);
    }();
    for (long c = 0; c < cols && parcel_no < o.parcels; ++c) {
      ++parcel_no;
      const std::string idd = "146518_8." + obr + "." + std::to_string(parcel_no);
      if (o.sample_extras && parcel_no == kEnclaveAround) {
        // Corners of the enclave, clear of the parcel's building.
        const Pt a = at(r, c);
        const Pt e[4] = {
            {a.n + 21, a.e + 21}, {a.n + 25, a.e + 21}, {a.n + 25, a.e + 26}, {a.n + 21, a.e + 26}};
        for (int i = 0; i < 4; ++i) point("E" + std::to_string(i), "", e[i], nr++);
      }
      out << "RO,," << (parcel_no % 7 == 0 ? "G5G_DZE," : "G5DZE,") << "DZ"
          << std::to_string(parcel_no) << "\nD,G5IDD,," << idd << "\nD,G5POW,,0.09\nWG,G5RPOD,,JR"
          << std::to_string(parcel_no) << "\nGL\nK,+\n";
      // Clockwise in (east, north): south-west, north-west, north-east, south-east.
      auto ref = [&](const std::string& id, const std::string& alt, bool by_alt) {
        if (by_alt && !alt.empty()) {
          out << "P,K," << alt << "\n";
        } else {
          out << "P,P,," << id << "\n";
        }
      };
      const bool by_alt = parcel_no % 5 == 0;
      ref(corner_id(r, c), corner_alt(r, c), by_alt);
      for (int j = 1; j <= k; ++j) ref(vedge_id(r, c, j), "", false);
      ref(corner_id(r + 1, c), corner_alt(r + 1, c), by_alt);
      for (int j = 1; j <= k; ++j) ref(hedge_id(r + 1, c, j), "", false);
      ref(corner_id(r + 1, c + 1), corner_alt(r + 1, c + 1), by_alt);
      for (int j = k; j >= 1; --j) ref(vedge_id(r, c + 1, j), "", false);
      ref(corner_id(r, c + 1), corner_alt(r, c + 1), by_alt);
      for (int j = k; j >= 1; --j) ref(hedge_id(r, c, j), "", false);
      ref(corner_id(r, c), corner_alt(r, c), by_alt);
      if (o.sample_extras && parcel_no == kEnclaveAround) {
        // The enclave: a hole in the same list, counter-clockwise, through
        // the points of the enclave parcel written after this one.
        out << "K,-\n";
        for (int i : {0, 3, 2, 1, 0}) out << "P,P,,E" << std::to_string(i) << "\n";
      }
      if (parcel_no % 50 == 0) {
        // A hole (a pond), inline coordinates, clockwise like its outer
        // ring, as some offices write them.
        const Pt a = at(r, c);
        out << "K,-\n";
        for (const auto& d : {std::pair{10.0, 10.0}, std::pair{10.0, 14.0}, std::pair{14.0, 14.0},
                              std::pair{14.0, 10.0}, std::pair{10.0, 10.0}}) {
          out << "P,G," << coord(a.n + d.second) << "," << coord(a.e + d.first) << "\n";
        }
      }
      if (parcel_no % 11 == 0) out << "C,granica ustalona\n";
      out << "X\n";
      if (o.sample_extras && parcel_no == kEnclaveAround) {
        // The enclave parcel itself, clockwise.
        out << "RO,,G5DZE,DZ" << std::to_string(parcel_no) << "E\nD,G5IDD,," << idd
            << "/1\nGL\nK,+\n";
        for (int i : {0, 1, 2, 3, 0}) out << "P,P,,E" << std::to_string(i) << "\n";
        out << "X\n";
      }

      // Two buildings in every three parcels.
      if (parcel_no % 3 == 2) continue;
      ++building_no;
      const Pt a = at(r, c);
      const double w = 8.0 + rng.uniform() * 6.0;
      const double h = 8.0 + rng.uniform() * 6.0;
      const Pt b[4] = {{a.n + 6, a.e + 6},
                       {a.n + 6 + h, a.e + 6},
                       {a.n + 6 + h, a.e + 6 + w},
                       {a.n + 6, a.e + 6 + w}};
      const bool inline_coords = building_no % 10 == 0;
      std::string bid = "B" + std::to_string(building_no);
      if (!inline_coords) {
        for (int i = 0; i < 4; ++i) {
          point(bid + "." + std::to_string(i), "BK" + std::to_string(building_no * 4 + i), b[i],
                nr++);
        }
      }
      out << "RO,," << (building_no % 4 == 0 ? "G5G_BUD," : "G5BUD,") << bid << "\nD,G5IDB,," << idd
          << "_" << std::to_string(building_no % 3 + 1) << ".BUD"
          << "\nD,G5FUZ,," << (building_no % 6 == 0 ? "2" : "1") << "1"
          << std::to_string(building_no % 3) << "\nD,G5SKBU,,1\n";
      if (o.register_objects) {
        out << "D,G5RBB,," << std::to_string(1960 + building_no % 60) << "\nWG,G5RADR,,ADR"
            << std::to_string(building_no) << "\n";
        buildings_for_addresses.push_back(idd);
      }
      out << "GL\nK,+\n";
      for (int i : {0, 1, 2, 3, 0}) {
        if (inline_coords) {
          out << "P,G," << coord(b[i].n) << "," << coord(b[i].e) << "\n";
        } else if (building_no % 2 == 0) {
          out << "P,K,BK" << std::to_string(building_no * 4 + i) << "\n";
        } else {
          out << "P,P,," << bid << "." << std::to_string(i) << "\n";
        }
      }
      if (o.sample_extras && building_no == kCourtyardBuilding) {
        // A courtyard, 2.5 m inside the walls, counter-clockwise.
        out << "K,-\n";
        const double d = 2.5;
        for (const Pt p :
             {Pt{b[0].n + d, b[0].e + d}, Pt{b[3].n + d, b[3].e - d}, Pt{b[2].n - d, b[2].e - d},
              Pt{b[1].n - d, b[1].e + d}, Pt{b[0].n + d, b[0].e + d}}) {
          out << "P,G," << coord(p.n) << "," << coord(p.e) << "\n";
        }
      }
      if (o.sample_extras && building_no == 7) out << "P,P,,BRAK.1\n";
      out << "X\n";
    }
  }
  if (o.register_objects) {
    // The cadastral unit: the outline of the whole block.
    out << "RO,,G5JEW,JEW1\nD,G5IDJ,,146518_8\nD,G5NAZ,,\xA3\xEA"
           "czyca\nD,G5DTW,,20020101\nGL\nK,+\n";
    for (const Pt p : {at(0, 0), at(rows, 0), at(rows, cols), at(0, cols), at(0, 0)}) {
      out << "P,G," << coord(p.n) << "," << coord(p.e) << "\n";
    }
    out << "X\n";
    // Land-use contours: one over each parcel, through the parcel's corners.
    static const char* const kUses[] = {"R", "S", "\xA3", "Ps", "B", "dr", "W"};
    static const char* const kSoils[] = {"IIIa", "IVb", "V", "", "", "", ""};
    long contour = 0;
    for (long r = 0; r < rows; ++r) {
      for (long c = 0; c < cols && contour < o.parcels; ++c) {
        ++contour;
        const int u = static_cast<int>(contour % 7);
        out << "RO,,G5KLU,KLU" << std::to_string(contour) << "\nD,G5OFU,," << kUses[u]
            << "\nD,G5OZU,," << kUses[u] << "\n";
        if (kSoils[u][0] != '\0') out << "D,G5OZK,," << kSoils[u] << "\n";
        out << "D,G5POW,," << (contour % 4 == 0 ? "0.0900" : "0.09") << "\nWG,G5RDZE,,DZ"
            << std::to_string(contour) << "\nGL\nK,+\n";
        for (const auto& [rr, cc] : {std::pair{r, c}, std::pair{r + 1, c}, std::pair{r + 1, c + 1},
                                     std::pair{r, c + 1}, std::pair{r, c}}) {
          out << "P,P,," << corner_id(rr, cc) << "\n";
        }
        out << "X\n";
      }
    }
    // Addresses of the buildings.
    for (size_t b = 0; b < buildings_for_addresses.size(); ++b) {
      out << "RO,,G5ADR,ADR" << std::to_string(b + 1) << "\nD,G5MSC,,\xA3\xEA"
          << "czyca\nD,G5ULC,,Ogrodowa\nD,G5NRA,," << std::to_string(b + 1)
          << (b % 5 == 4 ? "A" : "") << "\nD,G5KOD,,99-100\nX\n";
    }
    // Owners: two persons and an institution.
    out << "RO,,G5OSF,OSF1\nD,G5PLC,,2\nD,G5PSL,,80010112345\nD,G5NZW,,Kowalski\n"
           "D,G5PIM,,Jan\nD,G5PIM,,Pawe\xB3\nX\n"
           "RO,,G5OSF,OSF2\nD,G5PLC,,1\nD,G5PSL,,02270812346\nD,G5NZW,,Nowak\n"
           "D,G5PIM,,Anna\nX\n"
           "RO,,G5INS,INS1\nD,G5NPE,,Gmina \xA3\xEA"
           "czyca\nD,G5NSK,,UG \xA3\xEA"
           "czyca\nD,G5RGN,,000123456\nX\n";
    // Registration units (the last parcel's is missing) and the shares
    // in them.
    for (long j = 1; j < parcel_no; ++j) {
      const std::string n = std::to_string(j);
      out << "RO,,G5JRG,JR" << n << "\nD,G5IJR,,000" << n << "\nD,G5RJR,,1\nD,G5DTW,,2019"
          << (j % 9 + 10 < 13 ? std::to_string(j % 9 + 10) : std::string("03")) << "12\nX\n";
      const bool shared = j % 4 == 0;
      out << "RO,,G5UDZ,UDZ" << n << "a\nD,G5RWD,,1\nD,G5UD,," << (shared ? "1/2" : "1/1")
          << "\nWG,G5RPOD,,JR" << n << "\nWG,G5RWLS,," << (j % 10 == 0 ? "INS1" : "OSF1")
          << "\nX\n";
      if (shared) {
        out << "RO,,G5UDZ,UDZ" << n << "b\nD,G5RWD,,1\nD,G5UD,,1/2\nWG,G5RPOD,,JR" << n
            << "\nWG,G5RWLS,,OSF2\nX\n";
      }
    }
    // A document, its description one long line.
    std::string description =
        "Decyzja o podziale nieruchomo\xB6"
        "ci";
    while (description.size() < 600)
      description +=
          ", dzia\xB3ka w obr\xEA"
          "bie 0001";
    out << "RO,,G5DOK,DOK1\nD,G5KDK,,1\nD,G5DTD,,20180115\nD,G5DTU,,20180115103000\n"
           "D,G5SYG,,GN.6831.12.2018\nD,G5OPD,,"
        << description.c_str() << "\nX\n";
  }
  out << "SX\nSWDEX\n";
  out.flush();
  if (std::fclose(f) != 0) {
    std::perror(o.output);
    return 1;
  }
  if (o.sample_extras) ++parcel_no;  // the enclave
  std::fprintf(stderr, "gen_swde: %ld parcels, %ld buildings, %ld points\n", parcel_no, building_no,
               nr - 1);
  return 0;
}
