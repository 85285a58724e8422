#pragma once
// The BENCH window: the sources of a bench (name, address, protocol, rate,
// state), the live table with a column per receiver (the report's figures,
// its best cells shaded as on the page, a receiver's state under its name),
// one scatter of every receiver, the reference, the record folder and title,
// and Start, Stop and Report.
//
// A thin window: the table's texts and best marks are BenchTable's, the
// scatter's points the receivers'. What the buttons do, how an address is
// asked for and checked and which ports exist are handed in by the panel
// (BenchDock), which owns the recorder; the window shows what it is given.
#include "BenchFolder.h"
#include "BenchReceiver.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class TBenchScatter;

class TBenchForm : public QWidget {
    Q_OBJECT
public:
    explicit TBenchForm(QWidget* parent = nullptr);

    // --- set by the panel
    // "Add source...": the address typed, already checked; empty when cancelled.
    std::function<QString()> askAddress;
    // The serial ports offered in the port list.
    std::function<QStringList()> listPorts;
    std::function<void()> startClicked;
    std::function<void()> stopClicked;
    std::function<void()> reportClicked;
    // A receiver's column was clicked (index into the receivers shown).
    std::function<void(int index)> columnClicked;
    // Sources, reference, folder or title changed by the user.
    std::function<void()> changed;

    // --- the set-up
    void SetSources(const std::vector<BenchSourceSetup>& sources);
    std::vector<BenchSourceSetup> Sources() const;
    // False, and nothing added, when the bench is full or already has the
    // address; *why says so.
    bool AddSource(const QString& address, bool binr, int baud, QString* why = nullptr);
    void RemoveSource(int index);
    // False, name kept, when the name is empty or another source has it.
    bool RenameSource(int index, const QString& name);
    void SetReference(const std::optional<BenchReference>& reference);
    // None when unticked or when a field does not hold a number in range.
    std::optional<BenchReference> Reference() const;
    void SetRecordDir(const QString& dir);
    QString RecordDir() const;
    void SetTitle(const QString& title);
    QString Title() const;

    // --- what runs
    // The table, the scatter and the sources' states from the receivers,
    // about reference (none: each receiver's mean). Once a second.
    // rows, when given, stand for BenchTable's (the table of the recordings
    // at the end of a test whose live figures were thinned).
    void ShowReceivers(const std::vector<const BenchReceiver*>& receivers,
                       const std::optional<BenchReference>& reference, const std::vector<BenchRow>* rows = nullptr);
    // Start is off while running, Stop on; the set-up cannot change then.
    void SetRunning(bool running);
    // The receiver whose column the classic views follow; -1: none.
    void SetFollowed(int index);
    int Followed() const { return followed_; }
    void SetStatus(const QString& text);

    // Reached by the tests.
    QTreeWidget* SourceList = nullptr;
    QTableWidget* Table = nullptr;
    TBenchScatter* Scatter = nullptr;
    QComboBox* PortBox = nullptr;
    QComboBox* ProtocolBox = nullptr;
    QComboBox* RateBox = nullptr;
    QPushButton* AddPortButton = nullptr;
    QPushButton* AddSourceButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QCheckBox* ReferenceCheckBox = nullptr;
    QLineEdit* LatEdit = nullptr;
    QLineEdit* LonEdit = nullptr;
    QLineEdit* HeightEdit = nullptr;
    QLineEdit* FolderEdit = nullptr;
    QPushButton* FolderButton = nullptr;
    QLineEdit* TitleEdit = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* ReportButton = nullptr;
    QLabel* StatusLabel = nullptr;

    // The folder picker; tests replace it.
    std::function<QString(const QString& from)> askFolder;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildSetup();
    QWidget* BuildSources();
    void FillPorts();
    void AppendRow(const BenchSourceSetup& source);
    void ShowStates(const std::vector<const BenchReceiver*>& receivers);
    void ShowTable(const std::vector<const BenchReceiver*>& receivers, const std::vector<BenchRow>& rows);
    void MarkFollowed();
    void Changed();

    std::vector<BenchSourceSetup> sources_;
    int followed_ = -1;
    bool running_ = false;
    bool filling_ = false;   // the program, not the user, is editing the list
};

// A source's name: at most kBenchNameMax bytes; wanted, or wanted-2,
// wanted-3 ... when another of sources has it ("receiver" for an empty one).
constexpr size_t kBenchNameMax = 32;
std::string BenchUniqueName(const std::string& wanted, const std::vector<BenchSourceSetup>& sources);
// The colour of a best cell, as the report page shades it.
QColor BenchBestColour();
// "NAME" or "NAME\nSTATE": a receiver's column heading.
QString BenchColumnHeading(const BenchReceiver& receiver);
