#pragma once
// The CONSOLE's message table over the message log: the rows are the log's
// messages that pass the filter (their type switched on, the search text in
// the row), oldest first. Sync takes what the log appended since the last
// call and drops what it overwrote, so a draw costs what changed, not the
// ring. Unfiltered, the rows are one run of sequence numbers and a draw
// looks at no message at all: a 7 MB/s flood appends some 100,000 a second.
// Frozen (pause), the rows are copies that the ring can no longer
// overwrite; memory stays bounded by the ring's size either way.
#include "MessageLog.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <bitset>
#include <cstdint>
#include <deque>
#include <vector>

class ConsoleModel : public QAbstractTableModel {
public:
    enum Column { kTime, kSource, kType, kLength, kChecksum, kMessage, kColumnCount };

    explicit ConsoleModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetLog(const MessageLog* log);
    // The name shown for a source number.
    void SetSourceName(uint8_t source, const QString& name);
    QString SourceName(uint8_t source) const;
    // A source number whose rows are marked as sent by us.
    void SetSentSource(uint8_t source) { sentSource_ = source; }

    // Filter: a type by its row in the log's type table, and a search text
    // (case-insensitive, in the type and the message as shown). Rows are
    // rebuilt from the ring.
    void SetTypeShown(int typeRow, bool shown);
    bool TypeShown(int typeRow) const;
    void SetSearch(const QString& text);
    void SetHex(bool on);
    bool Hex() const { return hex_; }

    // Takes what the log appended and drops what it overwrote: true when
    // the rows changed. Nothing changes while frozen.
    bool Sync();
    void Rebuild();
    void Freeze(bool on);
    bool Frozen() const { return frozen_; }

    const MessageEntry* Entry(int row) const;
    // The row as copied and saved: time, source, type, length, checksum and
    // message as shown, tab-separated.
    QString LineOf(int row) const;
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool Passes(const MessageEntry& entry) const;
    bool Filtered() const { return hidden_.any() || !search_.isEmpty(); }
    int LiveRows() const;
    uint64_t SequenceOf(int row) const;
    QString MessageColumn(const MessageEntry& entry) const;

    const MessageLog* log_ = nullptr;
    // Live rows: filtered, their sequence numbers; unfiltered, every message
    // from runFirst_ to seen_.
    bool run_ = true;
    uint64_t runFirst_ = 0;
    std::deque<uint64_t> rows_;
    std::vector<MessageEntry> copies_;   // the rows, frozen
    bool frozen_ = false;
    uint64_t seen_ = 0;                  // the next sequence number to look at
    std::bitset<kMessageTypesMax> hidden_;
    QString search_;
    bool hex_ = false;
    QStringList sourceNames_;
    int sentSource_ = -1;
};

// "18:02:10.123", local time, from milliseconds since the epoch.
QString ReceiveTimeText(int64_t receiveMs);
