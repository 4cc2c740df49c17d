// Draws the layers of one conversion as an SVG picture:
//   layers_svg BASE OUT.svg             (reads BASE_DZE.shp and BASE_BUD.shp)
//   layers_svg --land-use BASE OUT.svg  (and BASE_KLU.shp, of a run with --all)
// Parcels are drawn light with their outlines, buildings dark on top, each
// parcel labelled with the number after the last '.' of its identifier.
// With --land-use the land-use contours (G5KLU) are filled in the colour of
// their use (G5OFU: R arable land, S orchard, Ł meadow, ...) and labelled
// with it and their soil class (G5OZK), the parcels' outlines drawn over
// them, with a legend of the uses shown.
#include <shapefil.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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
  std::string use;  // G5OFU of a land-use contour
};

// The tables are in Windows-1250, the picture in UTF-8: the Polish letters
// (the uses and soil classes hold "Ł"), the rest of the upper half as '?'.
std::string utf8_of_cp1250(std::string_view text) {
  static constexpr std::pair<unsigned char, const char*> kLetters[] = {
      {0xA5, "Ą"}, {0xB9, "ą"}, {0xC6, "Ć"}, {0xE6, "ć"}, {0xCA, "Ę"}, {0xEA, "ę"},
      {0xA3, "Ł"}, {0xB3, "ł"}, {0xD1, "Ń"}, {0xF1, "ń"}, {0xD3, "Ó"}, {0xF3, "ó"},
      {0x8C, "Ś"}, {0x9C, "ś"}, {0x8F, "Ź"}, {0x9F, "ź"}, {0xAF, "Ż"}, {0xBF, "ż"}};
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      if (c == '<') {
        out += "&lt;";
      } else if (c == '&') {
        out += "&amp;";
      } else {
        out += c;
      }
      continue;
    }
    const char* letter = "?";
    for (const auto& [code, utf8] : kLetters) {
      if (code == b) letter = utf8;
    }
    out += letter;
  }
  return out;
}

// Colours of the uses of land (G5OFU), in the order of the legend.
struct Use {
  const char* code;  // as the register writes it, in UTF-8
  const char* name;
  const char* colour;
};
constexpr Use kUses[] = {{"R", "grunty orne", "#f3dc8c"},
                         {"S", "sady", "#e0a0d0"},
                         {"Ł", "łąki trwałe", "#a8d878"},
                         {"Ps", "pastwiska trwałe", "#cfe8a0"},
                         {"Ls", "lasy", "#4f9a58"},
                         {"B", "tereny mieszkaniowe", "#e8a49a"},
                         {"Ba", "tereny przemysłowe", "#c89090"},
                         {"dr", "drogi", "#c4c4c4"},
                         {"Tk", "tereny kolejowe", "#a0a0a0"},
                         {"W", "grunty pod rowami", "#8cc0ec"},
                         {"Wp", "grunty pod wodami płynącymi", "#6aa8e0"},
                         {"N", "nieużytki", "#ddd8c8"}};

const Use* use_of(std::string_view code) {
  for (const Use& u : kUses) {
    if (code == u.code) return &u;
  }
  return nullptr;
}

std::vector<Polygon> read_layer(const std::string& base, const char* label_field,
                                const char* use_field = nullptr,
                                const char* class_field = nullptr) {
  std::vector<Polygon> out;
  std::unique_ptr<SHPInfo, ShpClose> shp(SHPOpen((base + ".shp").c_str(), "rb"));
  std::unique_ptr<DBFInfo, DbfClose> dbf(DBFOpen((base + ".dbf").c_str(), "rb"));
  if (!shp) return out;
  int count = 0;
  SHPGetInfo(shp.get(), &count, nullptr, nullptr, nullptr);
  const int field = dbf && label_field ? DBFGetFieldIndex(dbf.get(), label_field) : -1;
  const int use = dbf && use_field ? DBFGetFieldIndex(dbf.get(), use_field) : -1;
  const int soil = dbf && class_field ? DBFGetFieldIndex(dbf.get(), class_field) : -1;
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
    if (use >= 0) {
      p.use = utf8_of_cp1250(DBFReadStringAttribute(dbf.get(), i, use));
      const std::string soil_class =
          soil >= 0 ? utf8_of_cp1250(DBFReadStringAttribute(dbf.get(), i, soil)) : "";
      p.label = soil_class.empty() ? p.use : p.use + soil_class;
    }
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool land_use = argc == 4 && std::string_view(argv[1]) == "--land-use";
  if (argc != 3 && !land_use) {
    std::fprintf(stderr, "usage: layers_svg [--land-use] BASE OUT.svg\n");
    return 2;
  }
  const std::string base = argv[land_use ? 2 : 1];
  const char* out_path = argv[land_use ? 3 : 2];
  const std::vector<Polygon> parcels = read_layer(base + "_DZE", "IDD");
  const std::vector<Polygon> buildings = read_layer(base + "_BUD", nullptr);
  const std::vector<Polygon> contours =
      land_use ? read_layer(base + "_KLU", nullptr, "G5OFU", "G5OZK") : std::vector<Polygon>();
  if (land_use && contours.empty()) {
    std::fprintf(stderr, "layers_svg: no land-use contours in %s_KLU (a run with --all?)\n",
                 base.c_str());
    return 1;
  }
  double min_x = std::numeric_limits<double>::max(), min_y = min_x;
  double max_x = std::numeric_limits<double>::lowest(), max_y = max_x;
  for (const auto* layer : {&parcels, &buildings, &contours}) {
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
  // The uses the contours hold, in the legend's order, then any other.
  std::vector<std::string> shown;
  for (const Use& u : kUses) {
    for (const Polygon& p : contours) {
      if (p.use == u.code) {
        shown.emplace_back(u.code);
        break;
      }
    }
  }
  for (const Polygon& p : contours) {
    if (use_of(p.use) == nullptr && std::find(shown.begin(), shown.end(), p.use) == shown.end()) {
      shown.push_back(p.use);
    }
  }
  constexpr double kWidth = 800, kMargin = 10, kLegendRow = 20;
  const double scale = (kWidth - 2 * kMargin) / std::max(max_x - min_x, 1e-9);
  const double map_height = (max_y - min_y) * scale + 2 * kMargin;
  const size_t legend_rows = (shown.size() + 2) / 3;
  const double height =
      map_height + (land_use ? kLegendRow * static_cast<double>(legend_rows) + 10 : 0);
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(out_path, "w"), std::fclose);
  if (!out) {
    std::perror(out_path);
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
  // A label over coloured land gets a white halo.
  const auto label = [&](const Polygon& p, double dy, const char* colour, bool halo) {
    double sx = 0, sy = 0;
    const auto& ring = p.rings.front();
    for (const auto& [x, y] : ring) {
      sx += x;
      sy += y;
    }
    const double n = static_cast<double>(ring.size());
    std::fprintf(f,
                 "<text x=\"%.1f\" y=\"%.1f\" font-family=\"sans-serif\" font-size=\"11\" "
                 "text-anchor=\"middle\" fill=\"%s\"%s>%s</text>\n",
                 px(sx / n), py(sy / n) + dy, colour,
                 halo ? " stroke=\"#ffffff\" stroke-width=\"2.5\" paint-order=\"stroke\"" : "",
                 p.label.c_str());
  };
  if (land_use) {
    for (const Polygon& p : contours) {
      const Use* u = use_of(p.use);
      draw(p, u != nullptr ? u->colour : "#eeeeee", "#8a8a70", 0.6);
    }
    for (const Polygon& p : parcels) draw(p, "none", "#303030", 1.4);
    // Buildings as outlines, so the use beneath them shows.
    for (const Polygon& p : buildings) draw(p, "none", "#5a1a10", 1.0);
    for (const Polygon& p : contours) label(p, 4, "#202020", true);
    for (size_t k = 0; k < shown.size(); ++k) {
      const Use* u = use_of(shown[k]);
      const double x = kMargin + static_cast<double>(k % 3) * (kWidth - 2 * kMargin) / 3;
      const double y = map_height + 5 + kLegendRow * static_cast<double>(k / 3);
      std::fprintf(f,
                   "<rect x=\"%.1f\" y=\"%.1f\" width=\"22\" height=\"14\" fill=\"%s\" "
                   "stroke=\"#8a8a70\" stroke-width=\"0.6\"/>\n"
                   "<text x=\"%.1f\" y=\"%.1f\" font-family=\"sans-serif\" font-size=\"12\" "
                   "fill=\"#202020\">%s %s</text>\n",
                   x, y, u != nullptr ? u->colour : "#eeeeee", x + 28, y + 11, shown[k].c_str(),
                   u != nullptr ? u->name : "");
    }
  } else {
    for (const Polygon& p : parcels) draw(p, "#e8f0d8", "#5a7a2a", 1.2);
    for (const Polygon& p : buildings) draw(p, "#b04a3a", "#5a1a10", 0.8);
    for (const Polygon& p : parcels) label(p, -8, "#33401a", false);
  }
  std::fputs("</svg>\n", f);
  return std::fclose(out.release()) == 0 ? 0 : 1;
}
