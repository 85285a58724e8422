#pragma once
// The intake of one source: a port, a network source or a played file.
//
// Everything a source's bytes make lives here and nowhere program-wide: the
// NMEA assembler and the BINR decoder with the payloads they keep, the
// Multi-GNSS epoch, and the date policy that chooses the 1024-week cycle of
// the source's BINR weeks. A block of bytes goes to the decoder of the
// protocol named with it; the decoder runs through the plain bytes on its
// own and stops at each completion, which every listener hears before the
// next byte is fed. So a listener reads the decoders exactly as they stood
// when its sentence or message ended, and what it does to the source (a
// stop, a reset) acts from the next byte on.
//
// The intake knows no window, no clock and no file: whoever owns it (the
// main window, a test) listens and shows, counts and records. Several
// intakes may live side by side; each keeps to itself.
#include "BinrDecoder.h"
#include "FixPipeline.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "ReceiveTimes.h"
#include "WeekRollover.h"

#include <cstdint>
#include <vector>

class Intake;
enum class Protocol : uint8_t { Nmea, Binr };

// What an intake tells: each result of its decoders, and each Multi-GNSS
// epoch completed. A listener reads the decoders and the epoch through the
// intake it is handed. Each method defaults to nothing.
class IntakeListener {
public:
    virtual ~IntakeListener() = default;
    // A result of the NMEA assembler other than kNmeaNone (kNmeaError
    // included), after the Multi-GNSS epoch has taken the sentence.
    virtual void OnNmeaResult(const Intake& intake, int result);
    // A message ID of the BINR decoder, or kNmeaError (-1) for a frame that
    // failed its check.
    virtual void OnBinrResult(const Intake& intake, int result);
    // A Multi-GNSS epoch is complete: Gnss().Picture() holds it. Heard
    // before the result of the sentence that completed it.
    virtual void OnGnssEpoch(const Intake& intake);
    // The bytes one decoder call took, as received, and its result (kNmeaNone
    // or 0 while a sentence or frame is still open), before that result is
    // told: what a console cuts into messages. first: the call began a block.
    virtual void OnConsumed(const Intake& intake, Protocol protocol, const uint8_t* bytes, int used, int result,
                            bool first);
};

class Intake {
public:
    Intake() = default;
    // Its listeners belong to this source alone.
    Intake(const Intake&) = delete;
    Intake& operator=(const Intake&) = delete;

    // Listeners are heard in the order they were added; a listener is
    // added once, and removed before it goes.
    void AddListener(IntakeListener* listener);
    void RemoveListener(IntakeListener* listener);

    // One block of the source's bytes, in the protocol it is read in.
    void Receive(const uint8_t* bytes, int length, Protocol protocol);

    // The decoders look for the start of a sentence or frame; the payloads
    // they keep and the Multi-GNSS epoch stay.
    void ResetDecoders();
    // A new stream: the decoders as above, and the Multi-GNSS epoch starts
    // afresh.
    void Reset();
    // As a new source: the kept payloads go too (a seek, a new play).
    void Restart();

    // While a source's line settings are hunted, its bytes only tell whether
    // they frame: the Multi-GNSS epoch takes none of them.
    void SetHunting(bool on) { hunting_ = on; }

    // Multi-GNSS on or off; switching starts the epoch afresh.
    void SetMultiGnss(bool on);
    bool MultiGnss() const { return gnss_.Enabled(); }
    // The epoch under way is complete as it stands (the end of a file, live
    // data gone quiet): listeners hear it when it had not been shown. True
    // then.
    bool CompleteGnssEpoch();

    // Where the result being told ended: bytes received since the intake
    // was made, up to and including the last one of its sentence or frame.
    int64_t ResultEndByte() const { return resultEnd_; }
    // Bytes received since the intake was made.
    int64_t Received() const { return received_; }

    const NmeaAssembler& Nmea() const { return nmea_; }
    const BinrDecoder& Binr() const { return binr_; }
    const GnssEpoch& Gnss() const { return gnss_; }
    const DatePolicy& Dates() const { return dates_; }
    DatePolicy& Dates() { return dates_; }

    // The source's fixes: judged, counted and collected for its report, one
    // pass per result, while someone shows them (the STATISTIC window); a
    // source nobody watches that closely pays nothing for them. LastFix is
    // the step of the GGA or 0x88 being told (not offered for other results).
    void SetFixesOn(bool on) { fixesOn_ = on; }
    bool FixesOn() const { return fixesOn_; }
    FixPipeline& Fixes() { return fixes_; }
    const FixPipeline& Fixes() const { return fixes_; }
    const FixStep& LastFix() const { return lastFix_; }

    // FILE.times of the source's recording: when each block arrived. The
    // recorder opens and closes it with the file and appends after each
    // block written.
    ReceiveTimesWriter& Times() { return times_; }
    const ReceiveTimesWriter& Times() const { return times_; }

private:
    void ReceiveNmea(const char* bytes, int length);
    void ReceiveBinr(const uint8_t* bytes, int length);
    void TellNmea(int result);
    void TellBinr(int result);
    void TellGnssEpoch();
    void TellConsumed(Protocol protocol, const uint8_t* bytes, int used, int result, bool first);

    NmeaAssembler nmea_;
    BinrDecoder binr_;
    GnssEpoch gnss_;
    DatePolicy dates_;
    FixPipeline fixes_;
    ReceiveTimesWriter times_;
    FixStep lastFix_;
    int64_t received_ = 0;     // bytes of the blocks before the one being read
    int64_t resultEnd_ = 0;
    bool fixesOn_ = false;
    bool hunting_ = false;
    std::vector<IntakeListener*> listeners_;
};
