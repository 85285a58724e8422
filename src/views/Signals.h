#pragma once
// The SIGNALS window: a bar per satellite in view, its height the C/N0
// (0-60 dB-Hz, the value on top of the bar), grouped and coloured by system,
// filled when used in the solution, outlined when not, red when the receiver
// marks it bad (a legend says so), its elevation in the row above and its
// number below. It shows what SignalEpoch makes
// of the results it is handed, once per complete epoch; a headless run with
// the window shown prints the SIGNALS line then. A flood brings thousands of
// epochs a second: the window is drawn at most kSignalsDrawHz times a second.
#include "SignalEpoch.h"

#include <QStaticText>
#include <QWidget>

#include <map>

constexpr int kSignalsDrawHz = 20;

class TSignalsForm : public QWidget {
    Q_OBJECT
public:
    explicit TSignalsForm(QWidget* parent = nullptr);

    // Nothing in view, as at the start of a playback.
    void Reset();
    void OnNmeaResult(int result, const NmeaAssembler& nmea, const GnssEpoch& gnss);
    void OnBinrResult(int result, const BinrDecoder& binr, bool multiGnss);

    const SignalBars& Bars() const { return epoch_.Bars(); }
    // Where bar i of Bars() is drawn: its full 0-60 dB-Hz column.
    QRect BarColumn(int i) const;
    // The bar's tooltip: name, level, position, state and every signal.
    QString BarToolTip(int i) const;
    static QColor SystemColour(Gnss system);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Changed();
    void DrawCaptions(class QPainter& p);
    int BarAt(const QPoint& at) const;
    // Numbers and system names are laid out once and kept: a flood redraws 20
    // times a second.
    const QStaticText& Number(int value);
    const QStaticText& Name(Gnss system);

    SignalEpoch epoch_;
    class QTimer* repaint_ = nullptr;
    std::map<int, QStaticText> numbers_;
    std::map<int, QStaticText> names_;
};
