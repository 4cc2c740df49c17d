// UTM grid zones and the UTM / UPS projections (Universal Polar
// Stereographic north of 84 N and south of 80 S) on three ellipsoids chosen
// by a datum number: 0 Clarke 1866, 1 GRS 80, 2 WGS 84.  Positions are in
// decimal degrees; messages go to standard error.
#pragma once

#include <string_view>

namespace egib {

struct LatLon {
  double latitude;   // degrees, north positive
  double longitude;  // degrees, east positive
};

struct UtmPoint {
  // Two-digit zone number, latitude band letter, NUL: "34U", "05A".
  char zone[4];
  double easting;
  double northing;
};

int is_zone_digit(char c);

// Zone designation and central meridian (radians) of a position; the valid
// domain is -180 <= longitude < 180.
void utm_zone_from_latlon(const LatLon& position, char (&zone)[4], double* meridian);

// Central meridian (radians) of a designation such as "34U"; 0 on success,
// -1 (with a message) on a malformed or non-existent zone.
int utm_zone_meridian(std::string_view zone, double* meridian);

// Projects into the zone named in point.zone (only its meridian is used;
// the latitude decides UTM or UPS).  0, or -1 with point untouched.
int latlon_to_utm_in_zone(const LatLon& position, UtmPoint* point, int datum);

// Projects into the zone the position falls in and stores its designation.
int latlon_to_utm(const LatLon& position, UtmPoint* point, int datum);

// Grid position back to latitude and longitude.  0, or -1 with position
// untouched.
int utm_to_latlon(const UtmPoint& point, LatLon* position, int datum);

}  // namespace egib
