#pragma once
// The panel's SIGNALS and CONSOLE: their menu items and places, their share
// of the intake (a listener heard after the panel, so that SIGNALS' headless
// line follows the other views' lines), and the commands the console sends.
#include "Intake.h"
#include "MessageCapture.h"
#include "MessageLog.h"
#include "ReceiverCommand.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class TConsoleForm;
class TMainForm;
class TSignalsForm;

class ConsoleDock : public QObject, public IntakeListener {
public:
    explicit ConsoleDock(TMainForm& panel);
    ~ConsoleDock() override;

    TSignalsForm* ShowSignals();
    TConsoleForm* ShowConsole();
    TSignalsForm* SignalsWindow() const;
    TConsoleForm* ConsoleWindow() const;
    // The windows the last session left open, open again.
    void RestoreWindows();
    // A new stream: nothing half-cut is kept, SIGNALS starts empty.
    void ResetViews();
    // Commands the user asked to record, into the recording before the block
    // about to be written, when no received message is cut by them; all that
    // wait when the recording ends.
    void RecordSentCommands(bool recordingEnds = false);

    void OnNmeaResult(const Intake& intake, int result) override;
    void OnBinrResult(const Intake& intake, int result) override;
    void OnConsumed(const Intake& intake, Protocol protocol, const uint8_t* bytes, int used, int result,
                    bool first) override;

private:
    bool Feeding() const;
    bool SignalsShown() const;
    void SourceChanged();
    QString CommandProblem() const;
    CommandSent SendCommand(const std::vector<uint8_t>& bytes, bool record);
    void Sent(const std::vector<uint8_t>& bytes, bool record, const CommandSent& sent);

    TMainForm& panel_;
    std::unique_ptr<MessageLog> log;   // made with the console: about 6 MB
    MessageCapture nmea{MessageProtocol::Nmea};
    MessageCapture binr{MessageProtocol::Binr};
    QPointer<TSignalsForm> signalsForm;
    QPointer<TConsoleForm> consoleForm;
    QStringList sources;               // names by number
    uint8_t source = 0;
    std::vector<uint8_t> pendingSent;  // for the recording
    int64_t blockMs = 0;               // when the block being cut arrived
};
