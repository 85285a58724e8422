#pragma once
// The CONSOLE window: the last messages received with their time, source,
// type, length and checksum; filter by type, search, pause and follow, copy
// and save; the table of message types with count, rate and errors; and the
// command line to the receiver with its history.
//
// The window reads a message log that the intake side fills and owns, and
// draws at most kConsoleDrawHz times a second from what changed since the
// last draw, so a flood never waits for it. Sending goes through the
// functions the panel hands it: the window knows nothing of ports.
#include "ReceiverCommand.h"

#include <QWidget>

#include <functional>
#include <vector>

class ConsoleModel;
class MessageLog;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;

constexpr int kConsoleDrawHz = 20;

class TConsoleForm : public QWidget {
    Q_OBJECT
public:
    explicit TConsoleForm(QWidget* parent = nullptr);

    void SetLog(const MessageLog* log);
    ConsoleModel* Model() const { return model_; }

    // Why commands cannot be sent now ("Not available for this source"),
    // empty when they can; asked again whenever the source may have changed.
    std::function<QString()> commandProblem;
    // Starts writing the bytes to the receiver (and into the recording when
    // asked): what reached the port, and whether the rest is still under
    // way; then the panel calls CommandEnded once with the end.
    std::function<CommandSent(const std::vector<uint8_t>& bytes, bool record)> sendCommand;
    // The save dialog: the path chosen, or empty. Tests replace it.
    std::function<QString()> saveFileDialog;
    // The time the rates count in, Unix ms (null: the wall clock).
    std::function<int64_t()> clockMs;

    // Says why commands cannot go now, once each time that changes (a note
    // about the last send stays until then).
    void UpdateCommandState();
    // The command line as typed: parsed, sent, kept in the history; false
    // with the reason on CommandNote when refused or not sent whole. True
    // also while a long command is still being written ("Sending N
    // bytes..."): its end shows when CommandEnded comes.
    bool SendTyped();
    void CommandEnded(const CommandSent& sent);
    bool CommandUnderWay() const { return !sendingLine_.isEmpty(); }
    const CommandHistory& History() const { return history_; }
    void LoadHistory();

    // One draw: the types table and the messages that changed. The timer
    // calls it while the window is shown; tests call it themselves.
    void Refresh();
    QString SelectedText() const;
    // The messages shown, one line each as copied; false when the file
    // could not be written.
    bool SaveShown(const QString& path) const;

    QTableView* MessagesView = nullptr;
    QTableWidget* TypesTable = nullptr;
    // The NMEA sentence selected, field by field: name, value, unit.
    QTableWidget* FieldsTable = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QPushButton* PauseButton = nullptr;
    QCheckBox* FollowCheckBox = nullptr;
    QCheckBox* HexCheckBox = nullptr;
    QPushButton* CopyButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QLineEdit* CommandEdit = nullptr;
    QPushButton* SendButton = nullptr;
    QCheckBox* RecordSentCheckBox = nullptr;
    QLabel* CommandNote = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void RefreshTypes();
    // True when the cell's text changed length, so its column may need
    // another width.
    bool SetCellText(int row, int column, const QString& text);
    void CopySelection();
    void SaveClicked();
    void BrowseHistory(int step);
    bool Finish(const CommandSent& sent, const QString& typed);
    // ConsoleFields.cpp: the columns' widths, the Message column as wide as
    // a whole sentence, and the fields of the sentence selected.
    void SizeColumns();
    void FitMessageColumn();
    QWidget* BuildFieldsTable();
    void ShowFields();

    const MessageLog* log_ = nullptr;
    ConsoleModel* model_ = nullptr;
    QTimer* drawTimer_ = nullptr;
    CommandHistory history_;
    int historyAt_ = -1;   // the history line in the command line, -1 none
    int drawsSinceRates_ = 0;
    QString problemShown_;   // the last reason shown, empty when commands could go
    QString sendingLine_;    // the line of the command being written, empty when none
};
