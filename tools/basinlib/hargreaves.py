"""Reference evapotranspiration from daily air temperatures, spread over the hours of daylight.

The daily amount is Hargreaves and Samani's equation as FAO Irrigation and Drainage Paper 56
(Allen, Pereira, Raes and Smith 1998) gives it, equation 52:

    ET0 = 0.0023 (Tmean + 17.8) (Tmax - Tmin)^0.5 Ra          (mm/day, T in degrees C)

with Tmean = (Tmax + Tmin) / 2 and the extraterrestrial radiation Ra of the day expressed as
the evaporation it could supply (MJ m-2 day-1 x 0.408 mm per MJ m-2, FAO-56 equation 20's
factor). Ra follows FAO-56 equations 21 to 25 from the latitude phi and the day of the year J:

    Ra = 24 (60) / pi Gsc dr [ws sin(phi) sin(d) + cos(phi) cos(d) sin(ws)]      (21)
    dr = 1 + 0.033 cos(2 pi J / 365)                                                   (23)
    d  = 0.409 sin(2 pi J / 365 - 1.39)                                                (24)
    ws = arccos(-tan(phi) tan(d))                                                      (25)

Gsc = 0.0820 MJ m-2 min-1, and the day lasts N = 24 ws / pi hours of daylight (34). Each hour
takes the share of the day's amount that the sun's extraterrestrial radiation of that hour
(equation 28, the sunset angle bounding it) has of the day's: nothing at night, most around
solar noon. The hour's solar time angle is FAO-56 equation 31,

    w = pi / 12 [(t + 0.06667 (Lz - Lm) + Sc) - 12],   Sc = 0.1645 sin 2b - 0.1255 cos b
                                                            - 0.025 sin b,  b = 2 pi (J - 81) / 364
                                                                                  (31 to 33)

with t the clock time at the hour's midpoint, Lz the longitude of the clock's time zone and Lm
the site's (degrees west of Greenwich). Hours belong to the day of their local mean solar time,
so that each day's hours add up to that day's ET0.
"""
import math

import numpy as np

SOLAR_CONSTANT = 0.0820  # Gsc, MJ m-2 min-1
MM_PER_MJ = 0.408  # evaporation equivalent of radiation, mm per MJ m-2


def inverse_distance(day_of_year):
    """dr, FAO-56 equation 23."""
    return 1 + 0.033 * np.cos(2 * np.pi * day_of_year / 365)


def declination(day_of_year):
    """Solar declination in radians, FAO-56 equation 24."""
    return 0.409 * np.sin(2 * np.pi * day_of_year / 365 - 1.39)


def sunset_angle(latitude_rad, day_of_year):
    """ws in radians, FAO-56 equation 25; 0 in polar night and pi in polar day."""
    product = -np.tan(latitude_rad) * np.tan(declination(day_of_year))
    return np.arccos(np.clip(product, -1.0, 1.0))


def daylight_hours(latitude_rad, day_of_year):
    """N, FAO-56 equation 34."""
    return 24 / np.pi * sunset_angle(latitude_rad, day_of_year)


def daily_radiation(latitude_rad, day_of_year):
    """Ra of the day, MJ m-2 day-1, FAO-56 equation 21."""
    ws = sunset_angle(latitude_rad, day_of_year)
    d = declination(day_of_year)
    return (24 * 60 / np.pi * SOLAR_CONSTANT * inverse_distance(day_of_year)
            * (ws * np.sin(latitude_rad) * np.sin(d)
               + np.cos(latitude_rad) * np.cos(d) * np.sin(ws)))


def seasonal_correction(day_of_year):
    """Sc in hours, FAO-56 equations 32 and 33 (the equation of time)."""
    b = 2 * np.pi * (day_of_year - 81) / 364
    return 0.1645 * np.sin(2 * b) - 0.1255 * np.cos(b) - 0.025 * np.sin(b)


def hourly_radiation(latitude_rad, day_of_year, solar_angle):
    """Ra of the hour centred on solar time angle `solar_angle` (radians, 0 at solar noon),
    MJ m-2 hour-1: FAO-56 equation 28 with the hour's ends (29, 30) kept between sunrise and
    sunset (-ws and ws), so that an hour the sun rises in counts its lit part only."""
    ws = sunset_angle(latitude_rad, day_of_year)
    d = declination(day_of_year)
    w1 = np.clip(solar_angle - np.pi / 24, -ws, ws)
    w2 = np.clip(solar_angle + np.pi / 24, -ws, ws)
    return (12 * 60 / np.pi * SOLAR_CONSTANT * inverse_distance(day_of_year)
            * ((w2 - w1) * np.sin(latitude_rad) * np.sin(d)
               + np.cos(latitude_rad) * np.cos(d) * (np.sin(w2) - np.sin(w1))))


def hargreaves(t_min, t_max, latitude_rad, day_of_year):
    """ET0 in mm/day, FAO-56 equation 52, never below 0 (in frost the equation turns
    negative)."""
    t_mean = (t_max + t_min) / 2
    spread = np.sqrt(np.maximum(t_max - t_min, 0.0))
    et0 = 0.0023 * (t_mean + 17.8) * spread * MM_PER_MJ * daily_radiation(latitude_rad,
                                                                           day_of_year)
    return np.maximum(et0, 0.0)


def solar_angle(solar_hours, day_of_year):
    """w in radians of a local mean solar time of day (hours, 0 to 24), FAO-56 equation 31
    with the clock already turned to local mean solar time."""
    return np.pi / 12 * (solar_hours + seasonal_correction(day_of_year) - 12)


def hourly_shares(latitude_rad, day_of_year, first_midpoint):
    """The share of a day's amount that falls in each of its 24 hours, [..., 24]: the hours'
    midpoints lie at `first_midpoint` + k local mean solar hours (first_midpoint in [0, 1));
    shares add up to 1 (all 0 in polar night)."""
    hours = np.asarray(first_midpoint)[..., None] + np.arange(24)
    lat = np.asarray(latitude_rad)[..., None]
    day = np.asarray(day_of_year)[..., None]
    weights = hourly_radiation(lat, day, solar_angle(hours, day))
    weights = np.maximum(weights, 0.0)
    total = weights.sum(axis=-1, keepdims=True)
    with np.errstate(invalid="ignore", divide="ignore"):
        return np.where(total > 0, weights / np.where(total > 0, total, 1), 0.0)


def degrees_to_radians(degrees):
    return np.asarray(degrees, dtype=np.float64) * math.pi / 180
