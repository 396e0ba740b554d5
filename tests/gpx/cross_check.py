"""Cross-checks ZorpLoad's GPX files against independent parsers.

Usage: /usr/bin/python3 cross_check.py SAMPLE_TRACKS_PROGRAM

Puts a few hand-written track files into a fresh folder, runs the program
(which downloads simulated tracks there with GPX saving on, converting the
hand-written files first), then reads every track file with pynmea2 and its
GPX with gpxpy. Each usable fix (a GGA of quality 1 to 6, an RMC of status A
and a mode other than N, with a position and a good checksum) must be a
point of the GPX at the same time, within 1e-7 degrees, with the GGA's
altitude, geoid height, satellites and HDOP, the RMC's speed (knots to m/s,
within 0.0005) and course as the Garmin TrackPointExtension v2 elements, and
PDOP, VDOP (and HDOP where the GGA gives none) of the first GSA with a 2D or
3D fix after a GGA or RMC of the point's time and before one of another
time; sentences of one time of day are one point.
"""
import datetime
import functools
import os
import re
import subprocess
import sys
import tempfile

import gpxpy
import pynmea2

TOLERANCE = 1e-7 + 1e-12  # the file's 7 decimals, plus float noise
SPEED_TOLERANCE = 0.0005 + 1e-9  # m/s with 3 decimals
METRES_PER_KNOT = 1852 / 3600
GPXTPX = "{http://www.garmin.com/xmlschemas/TrackPointExtension/v2}"


def sentence(body, wrong=0):
    checksum = functools.reduce(lambda a, c: a ^ ord(c), body, 0)
    return "$%s*%02X\r\n" % (body, checksum ^ wrong)


# Hand-written tracks for what the simulated logger never records: southern
# and western fixes, a GGA and an RMC of one time, fixes without a position,
# a date change at midnight without an RMC, a track without a fix, GSA
# sentences of several systems, without a fix or after a GGA without one,
# a GGA without HDOP, and a course of 360 degrees.
HAND_WRITTEN = {
    "2026-06-30_2359_900.txt": "".join([
        sentence("GPGGA,235958.25,3345.1234,S,15112.5678,W,1,08,0.9,545.4,M,46.9,M,,"),
        sentence("GPRMC,235958.25,A,3345.1234,S,15112.5678,W,0.5,10.0,300626,,,A"),
        sentence("GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2"),
        sentence("GPGGA,235959.50,3345.1300,S,15112.5700,W,2,09,0.8,546.0,M,46.9,M,,"),
        sentence("GPGGA,000000.75,3345.1400,S,15112.5800,W,0,00,,,,,,,"),
        sentence("GPRMC,000001,V,3345.1400,S,15112.5800,W,,,010726,,,N"),
        sentence("GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2"),
        sentence("GPGGA,000002,3345.1500,S,15112.5900,W,1,07,1.1,547.0,M,46.9,M,,"),
        sentence("GNGSA,A,3,01,02,03,04,05,06,07,,,,,,1.6,1.1,1.3,1"),
        sentence("GNGSA,A,3,65,66,67,,,,,,,,,,1.7,1.2,1.4,2"),
        sentence("GPGGA,000003,3345.1600,S,15112.6000,W,1,07,1.1,547.5,M,46.9,M,,", wrong=1),
        "no sentence here\r\n",
        sentence("GPRMC,000004,A,0000.0006,N,00000.0006,E,0.5,10.0,010726,,,D"),
        sentence("GPGSA,A,1,,,,,,,,,,,,,99.0,99.0,99.0"),
        sentence("GPGGA,000005,0000.0007,N,00000.0007,E,1,04,,12.0,M,,,,"),
        sentence("GPGSA,A,2,01,02,03,,,,,,,,,,3.1,2.1,2.2"),
        sentence("GPRMC,000006,A,0000.0008,N,00000.0008,E,123.4,360.0,010726,,,A"),
    ]),
    "2026-07-01_0000_901.txt": sentence("GPGGA,000000,,,,,0,00,,,,,,,"),
}


def decimal(text):
    """A field's number, or None when it is empty or negative."""
    return float(text) if text and not text.startswith("-") else None


def usable_fixes(text, file_date):
    """The points a track file holds, by the rules the GPX follows, read with pynmea2."""
    points, date, last, gsa_joins = [], file_date, None, False
    for line in text.splitlines():
        try:
            msg = pynmea2.parse(line, check=True)
        except pynmea2.ParseError:
            continue
        if isinstance(msg, pynmea2.GSA):
            # A GSA has no time: it belongs to the GGA or RMC before it.
            if gsa_joins and msg.mode_fix_type in ("2", "3"):
                dilutions = points[-1].setdefault("gsa", {})
                for key in ("pdop", "hdop", "vdop"):
                    if dilutions.get(key) is None:
                        dilutions[key] = decimal(getattr(msg, key))
            continue
        if not isinstance(msg, (pynmea2.GGA, pynmea2.RMC)):
            continue
        try:
            stamp = msg.timestamp
        except ValueError:
            stamp = None
        seconds = stamp.hour * 3600 + stamp.minute * 60 + stamp.second + stamp.microsecond / 1e6 \
            if stamp else None
        gsa_joins = seconds is not None and bool(points) and points[-1]["seconds"] == seconds
        if isinstance(msg, pynmea2.GGA):
            if not msg.gps_qual or not 1 <= int(msg.gps_qual) <= 6:
                continue
        else:
            mode = msg.data[11] if len(msg.data) > 11 else ""
            if msg.status != "A" or mode == "N":
                continue
        if not (msg.lat and msg.lon and stamp):
            continue
        if isinstance(msg, pynmea2.RMC) and msg.datestamp:
            date = msg.datestamp
        elif last is not None and seconds + 43200 < last:
            date += datetime.timedelta(days=1)
        last = seconds
        gsa_joins = True
        when = datetime.datetime.combine(date, stamp.replace(tzinfo=None))
        if points and points[-1]["seconds"] == seconds:
            point = points[-1]
            if isinstance(msg, pynmea2.RMC):
                point["time"] = when
        else:
            point = {"seconds": seconds, "time": when, "lat": msg.latitude, "lon": msg.longitude}
            points.append(point)
        if isinstance(msg, pynmea2.GGA) and "ele" not in point:
            point.update(lat=msg.latitude, lon=msg.longitude, ele=msg.altitude,
                         geoid=float(msg.geo_sep) if msg.geo_sep and msg.geo_sep_units == "M" else None,
                         sat=int(msg.num_sats) if msg.num_sats else None,
                         hdop=float(msg.horizontal_dil) if msg.horizontal_dil else None)
        if isinstance(msg, pynmea2.RMC) and "speed" not in point:
            course = decimal(msg.data[7])
            point.update(speed=msg.spd_over_grnd * METRES_PER_KNOT if msg.spd_over_grnd is not None else None,
                         course=0.0 if course == 360 else course)
    return points


def extension(point, name):
    """The number of a TrackPointExtension element of a gpxpy point, or None."""
    for element in point.extensions:
        if element.tag == GPXTPX + "TrackPointExtension":
            for child in element:
                if child.tag == GPXTPX + name:
                    return float(child.text)
    return None


def check_track(folder, name):
    """Problems found with one track file's GPX; also the number of points."""
    match = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)_\d{4}_(\d{3,})\.txt", name)
    file_date = datetime.date(int(match[1]), int(match[2]), int(match[3]))
    with open(os.path.join(folder, name), encoding="ascii", newline="") as f:
        expected = usable_fixes(f.read(), file_date)
    gpx_path = os.path.join(folder, name[:-3] + "gpx")
    if not expected:
        return ([name + ": no fix, yet a GPX"] if os.path.exists(gpx_path) else []), 0
    if not os.path.exists(gpx_path):
        return [name + ": no GPX"], 0
    with open(gpx_path, encoding="utf-8") as f:
        gpx = gpxpy.parse(f)
    problems = []
    if len(gpx.tracks) != 1 or len(gpx.tracks[0].segments) != 1:
        return [name + ": not one track of one segment"], 0
    track_name = "Track %d, %s" % (int(match[4]), file_date.isoformat())
    if gpx.tracks[0].name != track_name:
        problems.append("%s: track named %r, not %r" % (name, gpx.tracks[0].name, track_name))
    got = gpx.tracks[0].segments[0].points
    if len(got) != len(expected):
        problems.append("%s: %d points, %d usable fixes" % (name, len(got), len(expected)))
    for i, (point, fix) in enumerate(zip(got, expected)):
        where = "%s point %d" % (name, i)
        if abs(point.latitude - fix["lat"]) > TOLERANCE or abs(point.longitude - fix["lon"]) > TOLERANCE:
            problems.append("%s: at %r %r, not %r %r" % (where, point.latitude, point.longitude,
                                                          fix["lat"], fix["lon"]))
        if point.time is None or point.time.utcoffset() != datetime.timedelta(0) or \
                point.time.replace(tzinfo=None) != fix["time"]:
            problems.append("%s: time %s, not %s" % (where, point.time, fix["time"]))
        gsa = fix.get("gsa", {})
        hdop = fix.get("hdop")
        expected = (fix.get("ele"), fix.get("geoid"), fix.get("sat"), gsa.get("hdop") if hdop is None else hdop,
                    gsa.get("vdop"), gsa.get("pdop"), fix.get("course"))
        found = (point.elevation, point.geoid_height, point.satellites, point.horizontal_dilution,
                 point.vertical_dilution, point.position_dilution, extension(point, "course"))
        if found != expected:
            problems.append("%s: ele, geoidheight, sat, hdop, vdop, pdop, course %r, not %r" %
                            (where, found, expected))
        speed = extension(point, "speed")
        if (speed is None) != (fix.get("speed") is None) or \
                speed is not None and abs(speed - fix["speed"]) > SPEED_TOLERANCE:
            problems.append("%s: speed %r, not %r" % (where, speed, fix.get("speed")))
        if len(problems) > 20:
            break
    return problems, len(got)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory(prefix="zorp-gpx-") as folder:
        for name, text in HAND_WRITTEN.items():
            with open(os.path.join(folder, name), "w", encoding="ascii", newline="") as f:
                f.write(text)
        run = subprocess.run([sys.argv[1], folder], capture_output=True, text=True, check=False)
        print(run.stdout, end="")
        if run.returncode != 0:
            sys.exit("the sample program failed: %d\n%s" % (run.returncode, run.stderr))
        tracks = sorted(n for n in os.listdir(folder) if n.endswith(".txt"))
        problems, total = [], 0
        for name in tracks:
            found, points = check_track(folder, name)
            problems += found
            total += points
        print("%d track files, %d points checked" % (len(tracks), total))
        if len(tracks) != len(HAND_WRITTEN) + 5:
            problems.append("%d track files, not %d" % (len(tracks), len(HAND_WRITTEN) + 5))
        if problems:
            sys.exit("\n".join(problems))


main()
