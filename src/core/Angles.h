#pragma once
// Angle constants for the whole program. Radians become degrees through
// 1/pi as a decimal factor, multiplied in the order each formula has always
// used: the last digit of every printed angle depends on that order.
constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfTurnDeg = 180.0;
constexpr double kInversePi = 0.3183098861837907;          // 1/pi, the same double as 1 / kPi
constexpr double kDegPerRad = kHalfTurnDeg * kInversePi;   // radians x kDegPerRad = degrees
constexpr double kRadPerDeg = kPi / kHalfTurnDeg;          // degrees x kRadPerDeg = radians
constexpr double kDegPerMinute = 1.0 / 60;                 // arc minutes x kDegPerMinute = degrees
