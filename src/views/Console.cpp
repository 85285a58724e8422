#include "Console.h"

#include "ConsoleDelegate.h"
#include "ConsoleModel.h"
#include "MessageLog.h"
#include "SettingsFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace {

constexpr int kDrawIntervalMs = 1000 / kConsoleDrawHz;
constexpr int kRatesEveryDraws = kConsoleDrawHz / 2;   // rates move with time: twice a second
constexpr QSize kDefaultSize(900, 480);
constexpr QSize kMinimumSize(480, 260);
constexpr char kHistoryKey[] = "ConsoleHistory";
constexpr int kTypesWidth = 280;
enum TypeColumn { kTypeName, kTypeCount, kTypeRate, kTypeErrors, kTypeColumns };

int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

} // namespace

TConsoleForm::TConsoleForm(QWidget* parent) : QWidget(parent, Qt::Window), model_(new ConsoleModel(this))
{
    setWindowTitle(QStringLiteral("CONSOLE"));
    setObjectName(QStringLiteral("ConsoleForm"));
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    BuildLayout();
    drawTimer_ = new QTimer(this);
    drawTimer_->setInterval(kDrawIntervalMs);
    connect(drawTimer_, &QTimer::timeout, this, &TConsoleForm::Refresh);
    saveFileDialog = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save messages"), QString(),
                                            QStringLiteral("Text files (*.txt);;All files (*)"));
    };
}

void TConsoleForm::BuildLayout()
{
    SearchEdit = new QLineEdit(this);
    SearchEdit->setPlaceholderText(QStringLiteral("Search"));
    SearchEdit->setClearButtonEnabled(true);
    PauseButton = new QPushButton(QStringLiteral("Pause"), this);
    PauseButton->setCheckable(true);
    FollowCheckBox = new QCheckBox(QStringLiteral("Follow"), this);
    FollowCheckBox->setChecked(true);
    HexCheckBox = new QCheckBox(QStringLiteral("Hex"), this);
    CopyButton = new QPushButton(QStringLiteral("Copy"), this);
    SaveButton = new QPushButton(QStringLiteral("Save..."), this);
    auto* tools = new QHBoxLayout;
    tools->addWidget(SearchEdit, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{PauseButton, FollowCheckBox, HexCheckBox, CopyButton, SaveButton})
        tools->addWidget(w);

    MessagesView = new QTableView(this);
    MessagesView->setModel(model_);
    MessagesView->setItemDelegate(new ConsoleDelegate(MessagesView));
    MessagesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    MessagesView->setWordWrap(false);
    MessagesView->setFont(QFont(QStringLiteral("Monospace"), 9));
    MessagesView->verticalHeader()->hide();
    // Rows of one height: the view never measures the rows it does not draw.
    MessagesView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MessagesView->verticalHeader()->setDefaultSectionSize(QFontMetrics(MessagesView->font()).height() + 4);
    MessagesView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    SizeColumns();

    TypesTable = new QTableWidget(0, kTypeColumns, this);
    TypesTable->setHorizontalHeaderLabels({QStringLiteral("Type"), QStringLiteral("Count"), QStringLiteral("Hz"),
                                           QStringLiteral("Errors")});
    TypesTable->verticalHeader()->hide();
    TypesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Sized to their contents by RefreshTypes when a text's length changes:
    // a header resizing to contents measures every cell at every change.
    TypesTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    TypesTable->setToolTip(QStringLiteral("Switch a type off to hide its messages"));
    TypesTable->setMinimumWidth(kTypesWidth);
    auto* split = new QSplitter(this);
    split->addWidget(MessagesView);
    split->addWidget(BuildFieldsTable());
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);

    CommandEdit = new QLineEdit(this);
    CommandEdit->setPlaceholderText(QStringLiteral("$PVKTQ,VER   or   hex: 10 39 01 10 03"));
    CommandEdit->installEventFilter(this);
    SendButton = new QPushButton(QStringLiteral("Send"), this);
    RecordSentCheckBox = new QCheckBox(QStringLiteral("Record sent"), this);
    RecordSentCheckBox->setToolTip(QStringLiteral("Also write the commands sent into the recording"));
    CommandNote = new QLabel(this);
    auto* command = new QHBoxLayout;
    command->addWidget(CommandEdit, 1);
    command->addWidget(SendButton);
    command->addWidget(RecordSentCheckBox);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(split, 1);
    layout->addLayout(command);
    layout->addWidget(CommandNote);

    connect(SearchEdit, &QLineEdit::textChanged, model_, &ConsoleModel::SetSearch);
    connect(HexCheckBox, &QCheckBox::toggled, model_, &ConsoleModel::SetHex);
    connect(PauseButton, &QPushButton::toggled, this, [this](bool on) {
        model_->Freeze(on);
        PauseButton->setText(on ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        if (!on && FollowCheckBox->isChecked())
            MessagesView->scrollToBottom();
    });
    connect(CopyButton, &QPushButton::clicked, this, &TConsoleForm::CopySelection);
    connect(SaveButton, &QPushButton::clicked, this, &TConsoleForm::SaveClicked);
    connect(SendButton, &QPushButton::clicked, this, &TConsoleForm::SendTyped);
    connect(CommandEdit, &QLineEdit::returnPressed, this, &TConsoleForm::SendTyped);
    connect(TypesTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kTypeName)
            model_->SetTypeShown(item->row(), item->checkState() == Qt::Checked);
    });
}

void TConsoleForm::SetLog(const MessageLog* log)
{
    log_ = log;
    model_->SetLog(log);
    TypesTable->setRowCount(0);
    Refresh();
}

void TConsoleForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    UpdateCommandState();
    Refresh();
    drawTimer_->start();
}

void TConsoleForm::hideEvent(QHideEvent* event)
{
    drawTimer_->stop();
    QWidget::hideEvent(event);
}

void TConsoleForm::Refresh()
{
    if (log_ == nullptr)
        return;
    RefreshTypes();
    if (model_->Sync() && FollowCheckBox->isChecked())
        MessagesView->scrollToBottom();
}

void TConsoleForm::RefreshTypes()
{
    const int types = log_->TypeCount();
    const bool newTypes = types > TypesTable->rowCount();
    if (!newTypes && ++drawsSinceRates_ < kRatesEveryDraws)
        return;
    drawsSinceRates_ = 0;
    UpdateCommandState();
    const QSignalBlocker quiet(TypesTable);
    const int before = TypesTable->rowCount();
    bool resize = types != before;
    TypesTable->setRowCount(types);
    const int64_t now = clockMs ? clockMs() : NowMs();
    for (int row = 0; row < types; ++row) {
        const MessageTypeRow& t = log_->Type(row);
        if (row >= before) {
            // Types arrive switched on; the check box filters them.
            auto* name = new QTableWidgetItem(QString::fromLatin1(t.name));
            name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            name->setCheckState(model_->TypeShown(row) ? Qt::Checked : Qt::Unchecked);
            TypesTable->setItem(row, kTypeName, name);
            for (int c = kTypeCount; c < kTypeColumns; ++c) {
                auto* cell = new QTableWidgetItem;
                cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                TypesTable->setItem(row, c, cell);
            }
        }
        resize |= SetCellText(row, kTypeCount, QString::number(t.count));
        resize |= SetCellText(row, kTypeRate, QString::number(log_->RateHz(row, now), 'f', 1));
        resize |= SetCellText(row, kTypeErrors, QString::number(t.errors));
        const QBrush errors = t.errors > 0 ? QBrush(QColor(220, 0, 0)) : QBrush();
        if (TypesTable->item(row, kTypeErrors)->foreground() != errors)
            TypesTable->item(row, kTypeErrors)->setForeground(errors);
    }
    if (resize)
        TypesTable->resizeColumnsToContents();
}

bool TConsoleForm::SetCellText(int row, int column, const QString& text)
{
    QTableWidgetItem* item = TypesTable->item(row, column);
    const qsizetype before = item->text().size();
    if (item->text() != text)
        item->setText(text);
    return text.size() != before;
}

QString TConsoleForm::SelectedText() const
{
    std::set<int> rows;
    for (const QModelIndex& i : MessagesView->selectionModel()->selectedIndexes())
        rows.insert(i.row());
    QStringList lines;
    for (const int row : rows)
        lines << model_->LineOf(row);
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TConsoleForm::CopySelection()
{
    if (const QString text = SelectedText(); !text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool TConsoleForm::SaveShown(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (int row = 0; row < model_->rowCount(); ++row)
        file.write((model_->LineOf(row) + QLatin1Char('\n')).toUtf8());
    return file.commit();
}

void TConsoleForm::SaveClicked()
{
    const QString path = saveFileDialog ? saveFileDialog() : QString();
    if (path.isEmpty())
        return;
    CommandNote->setText(SaveShown(path) ? QStringLiteral("Saved %1 messages to %2").arg(model_->rowCount()).arg(path)
                                         : QStringLiteral("Cannot write %1").arg(path));
}

// ---------------------------------------------------------------- commands

void TConsoleForm::UpdateCommandState()
{
    // The line stays editable: a source may become ready (a network source
    // opening) without anything else telling the window.
    const QString problem = commandProblem ? commandProblem() : QStringLiteral("Not available for this source");
    SendButton->setEnabled(problem.isEmpty() && !CommandUnderWay());
    if (problem != problemShown_ && !CommandUnderWay())
        CommandNote->setText(problem);
    problemShown_ = problem;
}

bool TConsoleForm::SendTyped()
{
    if (CommandUnderWay()) {
        CommandNote->setText(QStringLiteral("Busy: the last command is still being written"));
        return false;
    }
    UpdateCommandState();
    if (!problemShown_.isEmpty()) {
        CommandNote->setText(problemShown_);
        return false;
    }
    const QString typed = CommandEdit->text();
    // The box keeps at most maxLength characters of a paste and drops the
    // rest unseen: a line that long is not what was meant.
    if (typed.size() >= CommandEdit->maxLength()) {
        CommandNote->setText(QStringLiteral("Too long: the line was cut at %1 characters; a command takes at most %2 bytes")
                                 .arg(CommandEdit->maxLength())
                                 .arg(kCommandBytesMax));
        return false;
    }
    const ParsedCommand parsed = ParseCommand(typed.toStdString());
    if (!parsed.Ok()) {
        CommandNote->setText(QString::fromStdString(parsed.error));
        return false;
    }
    CommandSent sent;
    sent.count = int(parsed.bytes.size());
    if (sendCommand)
        sent = sendCommand(parsed.bytes, RecordSentCheckBox->isChecked());
    if (!sent.pending)
        return Finish(sent, typed);
    sendingLine_ = typed;
    SendButton->setEnabled(false);
    CommandNote->setText(QStringLiteral("Sending %1 bytes...").arg(sent.count));
    return true;
}

void TConsoleForm::CommandEnded(const CommandSent& sent)
{
    const QString typed = sendingLine_;
    sendingLine_.clear();
    Finish(sent, typed);
    UpdateCommandState();
}

bool TConsoleForm::Finish(const CommandSent& sent, const QString& typed)
{
    CommandNote->setText(QString::fromStdString(CommandSentNote(sent)));
    if (sent.end != CommandEnd::Whole || sent.written != sent.count)
        return false;
    history_.Add(typed.toStdString());
    historyAt_ = -1;
    // What was typed meanwhile stays.
    if (CommandEdit->text() == typed)
        CommandEdit->clear();
    if (const std::unique_ptr<QSettings> stored = OpenSettings()) {
        QStringList items;
        for (const std::string& line : history_.Serialise())
            items << QString::fromStdString(line);
        stored->setValue(kHistoryKey, items);
        stored->sync();
    }
    Refresh();
    return true;
}

void TConsoleForm::LoadHistory()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    std::vector<std::string> lines;
    for (const QString& line : stored->value(kHistoryKey).toStringList())
        lines.push_back(line.toStdString());
    history_ = CommandHistory::Parse(lines);
}

void TConsoleForm::BrowseHistory(int step)
{
    const int size = int(history_.Items().size());
    const int at = std::clamp(historyAt_ + step, -1, size - 1);
    if (at == historyAt_)
        return;
    historyAt_ = at;
    CommandEdit->setText(at < 0 ? QString() : QString::fromStdString(history_.Items()[size_t(at)]));
}

bool TConsoleForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == CommandEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            BrowseHistory(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
