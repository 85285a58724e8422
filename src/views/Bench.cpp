// The BENCH window (Bench.h). The set-up is edited here and handed to the
// panel through `changed`; the figures come from the receivers the panel
// shows once a second. Nothing here opens a port or writes a file.
#include "Bench.h"

#include "BenchScatter.h"
#include "Controls.h"
#include "LineRates.h"
#include "SourceAddress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr QSize kDefaultSize(900, 640);
constexpr QSize kMinimumSize(560, 420);
constexpr int kDefaultBaud = 4800;
enum SourceColumn { kName, kAddress, kProtocol, kRate, kState, kSourceColumns };
// What a height may be: a deep mine to far above any aircraft.
constexpr double kLowestM = -12000;
constexpr double kHighestM = 100000;
constexpr const char* kFollowMark = "\u00bb ";   // the column the classic views follow
constexpr int kTitleMax = 80;

} // namespace

std::string BenchUniqueName(const std::string& wanted, const std::vector<BenchSourceSetup>& sources)
{
    const std::string base = wanted.empty() ? std::string("receiver") : wanted.substr(0, kBenchNameMax - 4);
    auto taken = [&sources](const std::string& n) {
        for (const BenchSourceSetup& s : sources)
            if (s.name == n)
                return true;
        return false;
    };
    std::string name = base;
    for (int k = 2; taken(name); ++k)
        name = base + "-" + std::to_string(k);
    return name;
}

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

std::optional<double> NumberIn(const QLineEdit* edit, double low, double high)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (!ok || !std::isfinite(v) || v < low || v > high)
        return std::nullopt;
    return v;
}

QString Degrees(double v) { return QString::number(v, 'f', 8); }

} // namespace

QColor BenchBestColour() { return QColor(0xd8, 0xf0, 0xd8); }   // the page's td.best

QString BenchColumnHeading(const BenchReceiver& receiver)
{
    const QString state = QString::fromLatin1(BenchStateText(receiver.State()));
    const QString name = Text(receiver.Source().name);
    return state.isEmpty() ? name : name + QLatin1Char('\n') + state;
}

TBenchForm::TBenchForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("BENCH"));
    setObjectName(QStringLiteral("BenchForm"));
    setFont(UiFont());
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);

    Table = new QTableWidget(this);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionMode(QAbstractItemView::NoSelection);
    Table->horizontalHeader()->setSectionsClickable(true);
    // A row a line high: the table's figures fit without scrolling.
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
    Table->setToolTip(QStringLiteral("Click a receiver's column: POSITION ... PROFILE follow it; click again to stop"));
    connect(Table->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int i) {
        if (columnClicked)
            columnClicked(i);
    });
    connect(Table, &QTableWidget::cellClicked, this, [this](int, int column) {
        if (columnClicked)
            columnClicked(column);
    });
    Scatter = new TBenchScatter(this);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(Table);
    split->addWidget(Scatter);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    StartButton = new QPushButton(QStringLiteral("&Start"), this);
    StopButton = new QPushButton(QStringLiteral("S&top"), this);
    ReportButton = new QPushButton(QStringLiteral("&Report"), this);
    StatusLabel = new QLabel(this);
    StatusLabel->setTextFormat(Qt::PlainText);
    StatusLabel->setWordWrap(true);
    connect(StartButton, &QPushButton::clicked, this, [this] { if (startClicked) startClicked(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { if (stopClicked) stopClicked(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { if (reportClicked) reportClicked(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addWidget(ReportButton);
    buttons->addWidget(StatusLabel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildSources());
    layout->addWidget(BuildSetup());
    layout->addLayout(buttons);
    layout->addWidget(split, 1);

    askFolder = [this](const QString& from) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Record folder"), from);
    };
    SetRunning(false);
}

QWidget* TBenchForm::BuildSources()
{
    auto* box = new QWidget(this);
    SourceList = new QTreeWidget(box);
    SourceList->setColumnCount(kSourceColumns);
    SourceList->setHeaderLabels({"Name", "Address", "Protocol", "Rate", "State"});
    SourceList->setRootIsDecorated(false);
    SourceList->setMaximumHeight(120);
    SourceList->setToolTip(QStringLiteral("Double-click a name to rename the source"));
    connect(SourceList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (filling_ || column != kName)
            return;
        const int row = SourceList->indexOfTopLevelItem(item);
        if (!RenameSource(row, item->text(kName))) {
            filling_ = true;
            item->setText(kName, Text(sources_[size_t(row)].name));
            filling_ = false;
        }
    });

    PortBox = new QComboBox(box);
    PortBox->setMinimumContentsLength(16);
    ProtocolBox = new QComboBox(box);
    ProtocolBox->addItems({"NMEA", "BINR"});
    RateBox = new QComboBox(box);
    for (const LineRate& r : kLineRates)
        RateBox->addItem(QString::number(r.baud));
    RateBox->setCurrentText(QString::number(kDefaultBaud));
    AddPortButton = new QPushButton(QStringLiteral("Add port"), box);
    AddSourceButton = new QPushButton(QStringLiteral("Add source..."), box);
    RemoveButton = new QPushButton(QStringLiteral("Remove"), box);
    connect(AddPortButton, &QPushButton::clicked, this, [this] {
        QString why;
        if (PortBox->currentText().isEmpty())
            return;
        if (AddSource(PortBox->currentText(), ProtocolBox->currentIndex() == 1, RateBox->currentText().toInt(), &why))
            Changed();
        SetStatus(why);
    });
    connect(AddSourceButton, &QPushButton::clicked, this, [this] {
        const QString address = askAddress ? askAddress() : QString();
        QString why;
        if (!address.isEmpty() && AddSource(address, ProtocolBox->currentIndex() == 1, 0, &why))
            Changed();
        SetStatus(why);
    });
    connect(RemoveButton, &QPushButton::clicked, this, [this] {
        const int row = SourceList->indexOfTopLevelItem(SourceList->currentItem());
        if (row >= 0) {
            RemoveSource(row);
            Changed();
        }
    });

    auto* adding = new QHBoxLayout;
    adding->addWidget(PortBox, 1);
    adding->addWidget(ProtocolBox);
    adding->addWidget(RateBox);
    adding->addWidget(AddPortButton);
    adding->addWidget(AddSourceButton);
    adding->addWidget(RemoveButton);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(SourceList);
    layout->addLayout(adding);
    return box;
}

QWidget* TBenchForm::BuildSetup()
{
    auto* box = new QWidget(this);
    ReferenceCheckBox = new QCheckBox(QStringLiteral("Reference"), box);
    LatEdit = new QLineEdit(box);
    LonEdit = new QLineEdit(box);
    HeightEdit = new QLineEdit(box);
    LatEdit->setPlaceholderText(QStringLiteral("lat, degrees"));
    LonEdit->setPlaceholderText(QStringLiteral("lon, degrees"));
    HeightEdit->setPlaceholderText(QStringLiteral("height, m"));
    FolderEdit = new QLineEdit(box);
    FolderEdit->setPlaceholderText(QStringLiteral("record folder (empty: watch only)"));
    FolderButton = new QPushButton(QStringLiteral("..."), box);
    TitleEdit = new QLineEdit(box);
    TitleEdit->setPlaceholderText(QStringLiteral("title"));
    TitleEdit->setMaxLength(kTitleMax);
    for (QLineEdit* e : {LatEdit, LonEdit, HeightEdit, FolderEdit, TitleEdit})
        connect(e, &QLineEdit::editingFinished, this, [this] { Changed(); });
    connect(ReferenceCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        for (QLineEdit* e : {LatEdit, LonEdit, HeightEdit})
            e->setEnabled(on && !running_);
        Changed();
    });
    connect(FolderButton, &QPushButton::clicked, this, [this] {
        const QString dir = askFolder ? askFolder(FolderEdit->text()) : QString();
        if (!dir.isEmpty()) {
            FolderEdit->setText(dir);
            Changed();
        }
    });

    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ReferenceCheckBox);
    layout->addWidget(LatEdit);
    layout->addWidget(LonEdit);
    layout->addWidget(HeightEdit);
    layout->addWidget(FolderEdit, 2);
    layout->addWidget(FolderButton);
    layout->addWidget(TitleEdit, 1);
    for (QLineEdit* e : {LatEdit, LonEdit, HeightEdit})
        e->setEnabled(false);
    return box;
}

void TBenchForm::showEvent(QShowEvent* event)
{
    FillPorts();
    QWidget::showEvent(event);
}

void TBenchForm::FillPorts()
{
    const QString was = PortBox->currentText();
    PortBox->clear();
    if (listPorts)
        PortBox->addItems(listPorts());
    if (PortBox->findText(was) >= 0)
        PortBox->setCurrentText(was);
}

void TBenchForm::Changed()
{
    if (!filling_ && changed)
        changed();
}

// ---------------------------------------------------------------- sources

void TBenchForm::SetSources(const std::vector<BenchSourceSetup>& sources)
{
    filling_ = true;
    sources_.clear();
    SourceList->clear();
    for (const BenchSourceSetup& s : sources)
        if (int(sources_.size()) < kBenchMaxSources) {
            sources_.push_back(s);
            AppendRow(s);
        }
    filling_ = false;
}

std::vector<BenchSourceSetup> TBenchForm::Sources() const { return sources_; }

void TBenchForm::AppendRow(const BenchSourceSetup& s)
{
    auto* item = new QTreeWidgetItem;
    item->setText(kName, Text(s.name));
    item->setText(kAddress, Text(s.address));
    item->setText(kProtocol, s.binr ? QStringLiteral("BINR") : QStringLiteral("NMEA"));
    item->setText(kRate, s.baud > 0 ? QString::number(s.baud) : QString());
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    const bool was = filling_;
    filling_ = true;
    SourceList->addTopLevelItem(item);
    filling_ = was;
}

bool TBenchForm::AddSource(const QString& address, bool binr, int baud, QString* why)
{
    auto refuse = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    const std::string a = address.trimmed().toStdString();
    if (a.empty())
        return refuse(QStringLiteral("No address"));
    if (running_)
        return refuse(QStringLiteral("Stop the bench first"));
    if (int(sources_.size()) >= kBenchMaxSources)
        return refuse(QStringLiteral("A bench takes at most %1 sources").arg(kBenchMaxSources));
    for (const BenchSourceSetup& s : sources_)
        if (s.address == a)
            return refuse(QStringLiteral("%1 is already on the bench").arg(address.trimmed()));
    std::string reason;
    const bool network = LooksLikeNetworkSource(a);
    if (network && !ParseSourceAddress(a, nullptr, &reason))
        return refuse(QString::fromStdString(reason));
    BenchSourceSetup s;
    s.address = a;
    s.binr = binr;
    s.baud = network ? 0 : baud;
    s.name = BenchUniqueName(BenchDefaultName(a), sources_);
    sources_.push_back(s);
    AppendRow(s);
    if (why)
        why->clear();
    return true;
}

void TBenchForm::RemoveSource(int index)
{
    if (running_ || index < 0 || index >= int(sources_.size()))
        return;
    sources_.erase(sources_.begin() + index);
    delete SourceList->takeTopLevelItem(index);
}

bool TBenchForm::RenameSource(int index, const QString& name)
{
    const std::string n = name.trimmed().toStdString();
    if (running_ || index < 0 || index >= int(sources_.size()) || n.empty() || n.size() > kBenchNameMax)
        return false;
    for (int i = 0; i < int(sources_.size()); ++i)
        if (i != index && sources_[size_t(i)].name == n)
            return false;
    sources_[size_t(index)].name = n;
    if (QTreeWidgetItem* item = SourceList->topLevelItem(index); item && item->text(kName) != name.trimmed()) {
        filling_ = true;
        item->setText(kName, name.trimmed());
        filling_ = false;
    }
    Changed();
    return true;
}

// ---------------------------------------------------------------- set-up

void TBenchForm::SetReference(const std::optional<BenchReference>& reference)
{
    filling_ = true;
    ReferenceCheckBox->setChecked(reference.has_value());
    if (reference) {
        LatEdit->setText(Degrees(reference->latDeg));
        LonEdit->setText(Degrees(reference->lonDeg));
        HeightEdit->setText(QString::number(reference->heightM, 'f', 3));
    }
    filling_ = false;
}

std::optional<BenchReference> TBenchForm::Reference() const
{
    if (!ReferenceCheckBox->isChecked())
        return std::nullopt;
    const auto lat = NumberIn(LatEdit, -90, 90);
    const auto lon = NumberIn(LonEdit, -180, 180);
    const auto h = NumberIn(HeightEdit, kLowestM, kHighestM);
    if (!lat || !lon || !h)
        return std::nullopt;
    return BenchReference{*lat, *lon, *h};
}

void TBenchForm::SetRecordDir(const QString& dir) { FolderEdit->setText(dir); }
QString TBenchForm::RecordDir() const { return FolderEdit->text().trimmed(); }
void TBenchForm::SetTitle(const QString& title) { TitleEdit->setText(title); }
QString TBenchForm::Title() const { return TitleEdit->text().trimmed(); }

void TBenchForm::SetStatus(const QString& text) { StatusLabel->setText(text); }

void TBenchForm::SetRunning(bool running)
{
    running_ = running;
    StartButton->setEnabled(!running);
    StopButton->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{AddPortButton, AddSourceButton, RemoveButton, ReferenceCheckBox,
                                                      FolderEdit, FolderButton, TitleEdit})
        w->setEnabled(!running);
    for (QLineEdit* e : {LatEdit, LonEdit, HeightEdit})
        e->setEnabled(!running && ReferenceCheckBox->isChecked());
    SourceList->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                        : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
}

// ---------------------------------------------------------------- live

void TBenchForm::ShowReceivers(const std::vector<const BenchReceiver*>& receivers,
                               const std::optional<BenchReference>& reference, const std::vector<BenchRow>* rows)
{
    ShowStates(receivers);
    ShowTable(receivers, rows ? *rows : BenchTable(receivers));
    std::vector<BenchScatterSeries> series;
    for (const BenchReceiver* r : receivers)
        series.push_back({Text(r->Source().name), r->Scatter(), r->LiveFigures().r99M.value_or(0)});
    Scatter->SetSeries(std::move(series), reference.has_value());
}

void TBenchForm::ShowStates(const std::vector<const BenchReceiver*>& receivers)
{
    filling_ = true;
    for (int i = 0; i < SourceList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = SourceList->topLevelItem(i);
        QString state;
        // By address: the recorder may have made a name fit for a file.
        for (const BenchReceiver* r : receivers)
            if (r->Source().address == sources_[size_t(i)].address)
                state = QString::fromLatin1(BenchStateText(r->State()));
        item->setText(kState, state);
    }
    filling_ = false;
}

void TBenchForm::ShowTable(const std::vector<const BenchReceiver*>& receivers, const std::vector<BenchRow>& rows)
{
    Table->setColumnCount(int(receivers.size()));
    Table->setRowCount(int(rows.size()));
    QStringList headings;
    for (const BenchReceiver* r : receivers)
        headings << BenchColumnHeading(*r);
    Table->setHorizontalHeaderLabels(headings);
    QFont bold = Table->font();
    bold.setBold(true);
    for (int row = 0; row < int(rows.size()); ++row) {
        const BenchRow& r = rows[size_t(row)];
        Table->setVerticalHeaderItem(row, new QTableWidgetItem(Text(r.label)));
        for (int c = 0; c < int(receivers.size()); ++c) {
            auto* item = new QTableWidgetItem(c < int(r.cells.size()) ? Text(r.cells[size_t(c)]) : QString());
            if (c < int(r.best.size()) && r.best[size_t(c)]) {
                item->setBackground(BenchBestColour());
                item->setFont(bold);
            }
            Table->setItem(row, c, item);
        }
    }
    MarkFollowed();
}

void TBenchForm::SetFollowed(int index)
{
    followed_ = index;
    MarkFollowed();
}

void TBenchForm::MarkFollowed()
{
    for (int c = 0; c < Table->columnCount(); ++c) {
        QTableWidgetItem* head = Table->horizontalHeaderItem(c);
        if (!head)
            continue;
        QString text = head->text();
        if (text.startsWith(QString::fromUtf8(kFollowMark)))
            text.remove(0, int(QString::fromUtf8(kFollowMark).size()));
        head->setText(c == followed_ ? QString::fromUtf8(kFollowMark) + text : text);
    }
}
