#pragma once
// The one door tests have to the main window's private state: to set up a
// counter near its limit, a synchronization step or a sound switch, and to
// look at the record file, without making that state public.
#include "LiveSources.h"
#include "Mainfile.h"
#include "SourceFeed.h"

struct TMainFormTestAccess {
    static int32_t& ErrorCount(TMainForm& form) { return form.errorCount; }
    static int32_t& SyncIndex(TMainForm& form) { return form.syncIndex; }
    static int32_t& WatchTicks(TMainForm& form) { return form.watchTicks; }
    static int64_t& ReceivedTotal(TMainForm& form) { return form.receivedTotal; }
    static bool& SoundEnabled(TMainForm& form) { return form.soundEnabled; }
    static bool ReconnectEnabled(TMainForm& form) { return form.Sources().ReconnectEnabled(); }
    static RecordFile& Record(TMainForm& form) { return form.recordFile; }
    static ReceiveTimesWriter& Times(TMainForm& form) { return form.intake_.Times(); }
    static SourceFeed& Feed(TMainForm& form) { return *form.feed_; }
};
