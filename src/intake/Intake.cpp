#include "Intake.h"

#include <algorithm>

void IntakeListener::OnNmeaResult(const Intake&, int) {}
void IntakeListener::OnBinrResult(const Intake&, int) {}
void IntakeListener::OnGnssEpoch(const Intake&) {}
void IntakeListener::OnConsumed(const Intake&, Protocol, const uint8_t*, int, int, bool) {}

void Intake::AddListener(IntakeListener* listener)
{
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void Intake::RemoveListener(IntakeListener* listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void Intake::Receive(const uint8_t* bytes, int length, Protocol protocol)
{
    if (bytes == nullptr || length <= 0)
        return;
    if (protocol == Protocol::Nmea)
        ReceiveNmea(reinterpret_cast<const char*>(bytes), length);
    else
        ReceiveBinr(bytes, length);
    received_ += length;
}

// The decoders stop at each completion and are fed on from the next byte;
// a block cannot spin, as every call takes at least one byte.
void Intake::ReceiveNmea(const char* bytes, int length)
{
    for (int done = 0; done < length;) {
        int used = 0;
        const int result = nmea_.PushBlock(bytes + done, length - done, used);
        TellConsumed(Protocol::Nmea, reinterpret_cast<const uint8_t*>(bytes) + done, used, result, done == 0);
        done += std::max(used, 1);
        resultEnd_ = received_ + done;
        if (result != kNmeaNone)
            TellNmea(result);
    }
}

void Intake::ReceiveBinr(const uint8_t* bytes, int length)
{
    for (int done = 0; done < length;) {
        int used = 0;
        const int result = binr_.PushBlock(bytes + done, length - done, used);
        TellConsumed(Protocol::Binr, bytes + done, used, result, done == 0);
        done += std::max(used, 1);
        resultEnd_ = received_ + done;
        if (result != 0)
            TellBinr(result);
    }
}

// Multi-GNSS: an epoch is shown once it is complete, which the next one's
// fix sentence tells, before anything reads that sentence.
void Intake::TellNmea(int result)
{
    if (!hunting_ && gnss_.Feed(result, nmea_))
        TellGnssEpoch();
    if (fixesOn_ && !hunting_)
        lastFix_ = fixes_.OnNmeaResult(nmea_, result, &gnss_);
    // By index: a listener may add another while it is told.
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->OnNmeaResult(*this, result);
}

void Intake::TellBinr(int result)
{
    if (fixesOn_ && !hunting_)
        lastFix_ = fixes_.OnBinrResult(binr_, result, dates_);
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->OnBinrResult(*this, result);
}

void Intake::TellConsumed(Protocol protocol, const uint8_t* bytes, int used, int result, bool first)
{
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->OnConsumed(*this, protocol, bytes, used, result, first);
}

void Intake::TellGnssEpoch()
{
    for (size_t i = 0; i < listeners_.size(); ++i)
        listeners_[i]->OnGnssEpoch(*this);
}

void Intake::ResetDecoders()
{
    nmea_.Reset();
    binr_.Reset();
}

void Intake::Reset()
{
    ResetDecoders();
    gnss_.Reset();
}

void Intake::Restart()
{
    nmea_ = NmeaAssembler();
    binr_ = BinrDecoder();
    gnss_.Reset();
}

void Intake::SetMultiGnss(bool on)
{
    gnss_.SetEnabled(on);
    gnss_.Reset();
}

bool Intake::CompleteGnssEpoch()
{
    if (!gnss_.Complete())
        return false;
    TellGnssEpoch();
    return true;
}
