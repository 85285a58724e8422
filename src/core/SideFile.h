#pragma once
// Where the NMEA side file of a BINR recording goes, and how a side file is
// known as Kestrova's own across restarts.
//
// The side file of rgfile.dat is rgfile.nme by the naming rule. That name may
// hold a file that must never be replaced: a recording (it has a FILE.times
// beside it) or anything another program wrote. So a name is taken only when
//  - nothing is there, or an empty regular file, or
//  - it holds the side file Kestrova wrote for this same recording: its
//    marker says so and still describes it;
// else rgfile.side.nme is tried by the same rule, and when that is taken too
// there is no side file. A folder, FIFO or device under the name is passed
// over like a foreign file (a FIFO would block the open).
//
// The marker, SIDE.side beside the side file (rgfile.nme.side), is one line:
//     side-file INODE SIZE SECONDS NANOSECONDS RECORDING\n
// INODE, SIZE and the modification time are the side file's; RECORDING is
// the bare name of the recording it was written for. It is written as the
// side file opens, with SIZE -1 (being written), and again with the final
// figures as it closes. A closed side file stays Kestrova's while its size
// and modification time are as marked (a write by anyone else moves the
// time). One left open by a kill or a power cut stays Kestrova's while it is
// the same inode, last written no later than its recording plus
// kSideFileSlackS: a recording writes each block's raw bytes before its
// sentences. A marker that does not read as one is never written over; its
// side file then counts as foreign.
#include <cstdint>
#include <string>

// Side-file name for a record or playback file: the name up to and including
// its first full stop, then "nme" (rgfile.dat gives rgfile.nme; a name without
// a full stop gives nme). Callers pass the bare name, without its folder.
std::string SideFileName(const std::string& fileName);
// True when the file at path has a FILE.times beside it.
bool HoldsRecording(const std::string& path);
// The marker's name: the side file's plus ".side".
std::string SideMarkName(const std::string& side);

// How much later than its recording an unfinished side file may have been
// written and still be taken as Kestrova's (coarse file-system clocks).
constexpr int64_t kSideFileSlackS = 2;

// Why a side-file name was passed over.
enum class SideKept { No, Recording, Foreign };

struct SideFileChoice {
    std::string path;    // where the side file goes; empty: nowhere
    std::string usual;   // FILE.nme, in the recording's folder
    std::string apart;   // FILE.side.nme
    SideKept usualKept = SideKept::No;
    SideKept apartKept = SideKept::No;
};
// The side file of the recording or playback at path, in the same folder.
SideFileChoice ChooseSideFile(const std::string& path);
std::string SideFilePath(const std::string& path);
// What the user is told when the side file does not go to FILE.nme, names
// as in the choice: "track.nme kept (not a side file Kestrova wrote); side
// file: track.side.nme", or "... ; no side file". Empty for FILE.nme.
std::string SideFileNotice(const SideFileChoice& choice);

// Marks the open side file fd (named side) as written for the recording
// (its bare name); closed gives the final figures. Nothing when fd is not a
// regular file or the marker's name holds something else; false then or
// when the marker could not be written.
bool MarkSideFile(int fd, const std::string& side, const std::string& recording, bool closed);
