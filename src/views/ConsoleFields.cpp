// The CONSOLE's message columns and its field table (Console.h): a short
// sentence is never cut (the Message column is at least as wide as the
// longest sentence, the view scrolls sideways), and the sentence selected
// is read out field by field beside the type table.
#include "Console.h"

#include "ConsoleModel.h"
#include "NmeaFields.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>

#include <functional>

namespace {

constexpr int kCellMargin = 10;          // the delegate's margins and the grid
constexpr int kSentenceChars = 82;       // NMEA's longest sentence with its "$" and line end
enum FieldColumn { kFieldName, kFieldValue, kFieldUnit, kFieldColumns };

// Calls back when the watched widget is resized.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QObject* watched, std::function<void()> resized) : QObject(watched), resized_(std::move(resized))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            resized_();
        return false;
    }

private:
    std::function<void()> resized_;
};

} // namespace

void TConsoleForm::SizeColumns()
{
    // Each column as wide as its longest text in the table's font.
    const QFontMetrics text(MessagesView->font());
    const QFontMetrics header(MessagesView->horizontalHeader()->font());
    const auto width = [&](const QString& cell, const QString& title) {
        return std::max(text.horizontalAdvance(cell), header.horizontalAdvance(title)) + kCellMargin;
    };
    MessagesView->setColumnWidth(ConsoleModel::kTime, width(QStringLiteral("00:00:00.000"), QStringLiteral("Time")));
    MessagesView->setColumnWidth(ConsoleModel::kSource, width(QStringLiteral("/dev/ttyS0"), QStringLiteral("Source")));
    MessagesView->setColumnWidth(ConsoleModel::kType, width(QString::fromLatin1(kUndecodedType), QStringLiteral("Type")));
    MessagesView->setColumnWidth(ConsoleModel::kLength, width(QStringLiteral("99999"), QStringLiteral("Length")));
    MessagesView->setColumnWidth(ConsoleModel::kChecksum, width(QStringLiteral("refused"), QStringLiteral("Checksum")));
    // The Message column fills the view, and is never narrower than a whole
    // sentence: a narrow window scrolls sideways rather than cut it.
    MessagesView->horizontalHeader()->setStretchLastSection(false);
    new ResizeWatcher(MessagesView->viewport(), [this] { FitMessageColumn(); });
    FitMessageColumn();
}

void TConsoleForm::FitMessageColumn()
{
    int others = 0;
    for (int c = 0; c < ConsoleModel::kMessage; ++c)
        others += MessagesView->columnWidth(c);
    const int sentence = QFontMetrics(MessagesView->font()).horizontalAdvance(QString(kSentenceChars, QLatin1Char('W')))
                         + kCellMargin;
    const int wanted = std::max(MessagesView->viewport()->width() - others, sentence);
    if (MessagesView->columnWidth(ConsoleModel::kMessage) != wanted)
        MessagesView->setColumnWidth(ConsoleModel::kMessage, wanted);
}

QWidget* TConsoleForm::BuildFieldsTable()
{
    FieldsTable = new QTableWidget(0, kFieldColumns, this);
    FieldsTable->setHorizontalHeaderLabels({QStringLiteral("Field"), QStringLiteral("Value"), QStringLiteral("Unit")});
    FieldsTable->verticalHeader()->hide();
    FieldsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FieldsTable->horizontalHeader()->setStretchLastSection(true);
    FieldsTable->setToolTip(QStringLiteral("The NMEA sentence selected, field by field"));
    auto* side = new QSplitter(Qt::Vertical, this);
    side->addWidget(TypesTable);
    side->addWidget(FieldsTable);
    connect(MessagesView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TConsoleForm::ShowFields);
    return side;
}

void TConsoleForm::ShowFields()
{
    const QModelIndexList rows = MessagesView->selectionModel()->selectedRows();
    const MessageEntry* entry = rows.size() == 1 ? model_->Entry(rows.front().row()) : nullptr;
    std::vector<NmeaFieldRow> fields;
    if (entry && entry->protocol == MessageProtocol::Nmea && !entry->undecoded)
        fields = NmeaFieldRows(MessageText(*entry));
    FieldsTable->setRowCount(int(fields.size()));
    for (int r = 0; r < int(fields.size()); ++r) {
        const NmeaFieldRow& f = fields[size_t(r)];
        const std::string* texts[kFieldColumns] = {&f.name, &f.value, &f.unit};
        for (int c = 0; c < kFieldColumns; ++c)
            FieldsTable->setItem(r, c, new QTableWidgetItem(QString::fromStdString(*texts[c])));
    }
    FieldsTable->resizeColumnToContents(kFieldName);
    FieldsTable->resizeColumnToContents(kFieldValue);
}
