#pragma once
// Whether a receiver sends what the classic reading of NMEA cannot show. The
// classic views read a GPS/GLONASS receiver of their time: they know no
// combined "GN" talker, no system ID at the end of a GSA, and no RTK fix
// quality (a 3D RTK fix shows as "2D DIFF"). One such sentence is enough to
// tell the user that the Multi-GNSS reading would show more.
#include "NmeaAssembler.h"

// sentence: the fields of the sentence just accepted, result its kind.
bool NeedsMultiGnss(int result, const NmeaFields& sentence);
