#include "ConsoleModel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

const QColor kBadColour(220, 0, 0);
const QColor kSentColour(0, 0, 200);

QString ChecksumText(const MessageEntry& e)
{
    switch (e.checksum) {
    case ChecksumStatus::Ok: return QStringLiteral("ok");
    case ChecksumStatus::Bad: return QStringLiteral("bad");
    default: return e.error ? QStringLiteral("refused") : QString();
    }
}

} // namespace

QString ReceiveTimeText(int64_t receiveMs)
{
    // Every visible row asks 20 times a second: the zone's offset is looked
    // up once an hour of receive time, not for every row.
    constexpr int64_t kMsPerHour = 3600 * 1000;
    constexpr int64_t kMsPerDay = 24 * kMsPerHour;
    static int64_t hourOfOffset = INT64_MIN;
    static int64_t offsetMs = 0;
    const int64_t hour = receiveMs / kMsPerHour;
    if (hour != hourOfOffset) {
        hourOfOffset = hour;
        offsetMs = int64_t(QDateTime::fromMSecsSinceEpoch(receiveMs).offsetFromUtc()) * 1000;
    }
    const int64_t local = ((receiveMs + offsetMs) % kMsPerDay + kMsPerDay) % kMsPerDay;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", int(local / kMsPerHour), int(local / 60000 % 60),
                  int(local / 1000 % 60), int(local % 1000));
    return QString::fromLatin1(text);
}

void ConsoleModel::SetLog(const MessageLog* log)
{
    log_ = log;
    Rebuild();
}

void ConsoleModel::SetSourceName(uint8_t source, const QString& name)
{
    while (sourceNames_.size() <= source)
        sourceNames_ << QString();
    sourceNames_[source] = name;
}

QString ConsoleModel::SourceName(uint8_t source) const { return sourceNames_.value(source); }

void ConsoleModel::SetTypeShown(int typeRow, bool shown)
{
    if (typeRow < 0 || typeRow >= kMessageTypesMax || hidden_[size_t(typeRow)] == !shown)
        return;
    hidden_[size_t(typeRow)] = !shown;
    Rebuild();
}

bool ConsoleModel::TypeShown(int typeRow) const
{
    return typeRow < 0 || typeRow >= kMessageTypesMax || !hidden_[size_t(typeRow)];
}

void ConsoleModel::SetSearch(const QString& text)
{
    if (text == search_)
        return;
    search_ = text;
    Rebuild();
}

void ConsoleModel::SetHex(bool on)
{
    if (on == hex_)
        return;
    hex_ = on;
    // The search looks in the message as shown.
    if (!search_.isEmpty())
        Rebuild();
    else if (rowCount() > 0)
        emit dataChanged(index(0, kMessage), index(rowCount() - 1, kMessage));
}

QString ConsoleModel::MessageColumn(const MessageEntry& e) const
{
    return QString::fromStdString(hex_ ? MessageHex(e) : MessageSummary(e));
}

bool ConsoleModel::Passes(const MessageEntry& e) const
{
    if (hidden_[e.type])
        return false;
    if (search_.isEmpty())
        return true;
    return QString::fromLatin1(log_ ? log_->Type(e.type).name : "").contains(search_, Qt::CaseInsensitive)
           || MessageColumn(e).contains(search_, Qt::CaseInsensitive);
}

void ConsoleModel::Rebuild()
{
    beginResetModel();
    rows_.clear();
    seen_ = log_ ? log_->Appended() - uint64_t(log_->Size()) : 0;
    run_ = !Filtered();
    runFirst_ = seen_;
    if (frozen_) {
        // The copies stay what they were; only the filter applies anew on
        // the ring's next take after the pause.
        copies_.erase(std::remove_if(copies_.begin(), copies_.end(), [this](const MessageEntry& e) { return !Passes(e); }),
                      copies_.end());
    }
    endResetModel();
    if (!frozen_)
        Sync();
}

int ConsoleModel::LiveRows() const
{
    return run_ ? int(seen_ - runFirst_) : int(rows_.size());
}

uint64_t ConsoleModel::SequenceOf(int row) const
{
    return run_ ? runFirst_ + uint64_t(row) : rows_[size_t(row)];
}

bool ConsoleModel::Sync()
{
    if (frozen_ || log_ == nullptr)
        return false;
    const uint64_t appended = log_->Appended();
    if (appended < seen_) {   // the log was cleared
        Rebuild();
        return true;
    }
    const uint64_t oldest = appended - uint64_t(log_->Size());
    const int rows = LiveRows();
    int gone = 0;
    if (run_)
        gone = int(std::min<uint64_t>(oldest > runFirst_ ? oldest - runFirst_ : 0, uint64_t(rows)));
    else
        while (gone < rows && rows_[size_t(gone)] < oldest)
            ++gone;
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, gone - 1);
        if (run_)
            runFirst_ += uint64_t(gone);
        else
            rows_.erase(rows_.begin(), rows_.begin() + gone);
        endRemoveRows();
    }
    const uint64_t from = std::max(seen_, oldest);
    int added = 0;
    if (run_) {
        // Nothing is held between runFirst_ and the oldest message kept.
        if (LiveRows() == 0)
            runFirst_ = seen_ = from;
        added = int(appended - from);
        if (added > 0) {
            const int first = LiveRows();
            beginInsertRows(QModelIndex(), first, first + added - 1);
            seen_ = appended;
            endInsertRows();
        }
    } else {
        std::vector<uint64_t> taken;
        for (uint64_t s = from; s < appended; ++s)
            if (const MessageEntry* e = log_->At(s); e && Passes(*e))
                taken.push_back(s);
        added = int(taken.size());
        if (added > 0) {
            const int first = LiveRows();
            beginInsertRows(QModelIndex(), first, first + added - 1);
            rows_.insert(rows_.end(), taken.begin(), taken.end());
            endInsertRows();
        }
    }
    seen_ = appended;
    return gone > 0 || added > 0;
}

void ConsoleModel::Freeze(bool on)
{
    if (on == frozen_)
        return;
    beginResetModel();
    if (on) {
        copies_.clear();
        const int rows = LiveRows();
        copies_.reserve(size_t(rows));
        for (int row = 0; row < rows; ++row)
            if (const MessageEntry* e = log_ ? log_->At(SequenceOf(row)) : nullptr)
                copies_.push_back(*e);
    } else {
        copies_.clear();
        copies_.shrink_to_fit();
    }
    frozen_ = on;
    endResetModel();
    if (!on)
        Rebuild();
}

const MessageEntry* ConsoleModel::Entry(int row) const
{
    if (row < 0)
        return nullptr;
    if (frozen_)
        return row < int(copies_.size()) ? &copies_[size_t(row)] : nullptr;
    return row < LiveRows() && log_ ? log_->At(SequenceOf(row)) : nullptr;
}

QString ConsoleModel::CellText(int row, int column) const
{
    const MessageEntry* e = Entry(row);
    if (e == nullptr)
        return {};
    switch (column) {
    case kTime: return ReceiveTimeText(e->receiveMs);
    case kSource: return SourceName(e->source);
    case kType: return QString::fromLatin1(log_ ? log_->Type(e->type).name : "");
    case kLength: return QString::number(e->length);
    case kChecksum: return ChecksumText(*e);
    case kMessage: return MessageColumn(*e);
    default: return {};
    }
}

QString ConsoleModel::LineOf(int row) const
{
    QStringList cells;
    for (int c = 0; c < kColumnCount; ++c)
        cells << CellText(row, c);
    return cells.join(QLatin1Char('\t'));
}

int ConsoleModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : frozen_ ? int(copies_.size()) : LiveRows();
}

int ConsoleModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ConsoleModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::TextAlignmentRole)
        return {};
    const MessageEntry* e = Entry(index.row());
    if (e == nullptr)
        return {};
    if (role == Qt::DisplayRole)
        return CellText(index.row(), index.column());
    if (role == Qt::ForegroundRole) {
        if (index.column() == kChecksum && e->error)
            return QBrush(kBadColour);
        if (sentSource_ >= 0 && e->source == sentSource_)
            return QBrush(kSentColour);
    }
    if (role == Qt::TextAlignmentRole && index.column() == kLength)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ConsoleModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kHeaders[kColumnCount] = {"Time", "Source", "Type", "Length", "Checksum", "Message"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return {};
}
