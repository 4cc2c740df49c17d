// Draws the parcel and building layers of one conversion as an SVG picture:
//   layers_svg BASE OUT.svg      (reads BASE_DZE.shp and BASE_BUD.shp)
// Parcels are drawn light with their outlines, buildings dark on top, each
// parcel labelled with the number after the last '.' of its identifier.
#include <shapefil.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ShpClose {
  void operator()(SHPInfo* h) const { SHPClose(h); }
};
struct DbfClose {
  void operator()(DBFInfo* h) const { DBFClose(h); }
};
struct ObjectDestroy {
  void operator()(SHPObject* o) const { SHPDestroyObject(o); }
};

struct Polygon {
  std::vector<std::vector<std::pair<double, double>>> rings;
  std::string label;
};

std::vector<Polygon> read_layer(const std::string& base, const char* label_field) {
  std::vector<Polygon> out;
  std::unique_ptr<SHPInfo, ShpClose> shp(SHPOpen((base + ".shp").c_str(), "rb"));
  std::unique_ptr<DBFInfo, DbfClose> dbf(DBFOpen((base + ".dbf").c_str(), "rb"));
  if (!shp) return out;
  int count = 0;
  SHPGetInfo(shp.get(), &count, nullptr, nullptr, nullptr);
  const int field = dbf && label_field ? DBFGetFieldIndex(dbf.get(), label_field) : -1;
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<SHPObject, ObjectDestroy> o(SHPReadObject(shp.get(), i));
    if (!o || o->nVertices == 0) continue;
    Polygon p;
    const int parts = std::max(o->nParts, 1);
    for (int k = 0; k < parts; ++k) {
      const int from = o->nParts > 0 ? o->panPartStart[k] : 0;
      const int to = k + 1 < o->nParts ? o->panPartStart[k + 1] : o->nVertices;
      std::vector<std::pair<double, double>> ring;
      for (int v = from; v < to; ++v) ring.emplace_back(o->padfX[v], o->padfY[v]);
      p.rings.push_back(std::move(ring));
    }
    if (field >= 0) {
      const std::string id = DBFReadStringAttribute(dbf.get(), i, field);
      p.label = id.substr(id.find_last_of('.') + 1);
    }
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: layers_svg BASE OUT.svg\n");
    return 2;
  }
  const std::string base = argv[1];
  const std::vector<Polygon> parcels = read_layer(base + "_DZE", "IDD");
  const std::vector<Polygon> buildings = read_layer(base + "_BUD", nullptr);
  double min_x = std::numeric_limits<double>::max(), min_y = min_x;
  double max_x = std::numeric_limits<double>::lowest(), max_y = max_x;
  for (const auto* layer : {&parcels, &buildings}) {
    for (const Polygon& p : *layer) {
      for (const auto& ring : p.rings) {
        for (const auto& [x, y] : ring) {
          min_x = std::min(min_x, x);
          max_x = std::max(max_x, x);
          min_y = std::min(min_y, y);
          max_y = std::max(max_y, y);
        }
      }
    }
  }
  if (min_x > max_x) {
    std::fprintf(stderr, "layers_svg: no shapes in %s_DZE / %s_BUD\n", base.c_str(), base.c_str());
    return 1;
  }
  constexpr double kWidth = 800, kMargin = 10;
  const double scale = (kWidth - 2 * kMargin) / std::max(max_x - min_x, 1e-9);
  const double height = (max_y - min_y) * scale + 2 * kMargin;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(argv[2], "w"), std::fclose);
  if (!out) {
    std::perror(argv[2]);
    return 1;
  }
  FILE* f = out.get();
  std::fprintf(f,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
               "viewBox=\"0 0 %.0f %.0f\">\n<rect width=\"100%%\" height=\"100%%\" "
               "fill=\"#ffffff\"/>\n",
               kWidth, height, kWidth, height);
  // North up: the grid's northing grows upwards, SVG's y downwards.
  const auto px = [&](double x) { return kMargin + (x - min_x) * scale; };
  const auto py = [&](double y) { return kMargin + (max_y - y) * scale; };
  const auto draw = [&](const Polygon& p, const char* fill, const char* stroke, double width) {
    std::fprintf(f,
                 "<path fill-rule=\"evenodd\" fill=\"%s\" stroke=\"%s\" stroke-width=\"%.1f\" d=\"",
                 fill, stroke, width);
    for (const auto& ring : p.rings) {
      for (size_t i = 0; i < ring.size(); ++i) {
        std::fprintf(f, "%c%.1f %.1f ", i == 0 ? 'M' : 'L', px(ring[i].first), py(ring[i].second));
      }
      std::fputs("Z ", f);
    }
    std::fputs("\"/>\n", f);
  };
  for (const Polygon& p : parcels) draw(p, "#e8f0d8", "#5a7a2a", 1.2);
  for (const Polygon& p : buildings) draw(p, "#b04a3a", "#5a1a10", 0.8);
  for (const Polygon& p : parcels) {
    double sx = 0, sy = 0;
    const auto& ring = p.rings.front();
    for (const auto& [x, y] : ring) {
      sx += x;
      sy += y;
    }
    const double n = static_cast<double>(ring.size());
    std::fprintf(f,
                 "<text x=\"%.1f\" y=\"%.1f\" font-family=\"sans-serif\" font-size=\"11\" "
                 "text-anchor=\"middle\" fill=\"#33401a\">%s</text>\n",
                 px(sx / n), py(sy / n) - 8, p.label.c_str());
  }
  std::fputs("</svg>\n", f);
  return std::fclose(out.release()) == 0 ? 0 : 1;
}
