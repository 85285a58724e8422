#pragma once
// The BENCH window's scatter: every receiver's recent accepted fixes in its
// own colour (the report page's colours), east and north about the
// reference or, without one, each about its own mean, on a frame and grid
// chosen as the page chooses them, with the grid step written as the scale.
// Drawn into an image when the points change; the paint only copies it.
#include "BenchReceiver.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

struct BenchScatterSeries {
    QString name;
    std::vector<BenchPoint> points;
    double r99M = 0;      // 0 when unknown: the frame then holds the largest error
};

class TBenchScatter : public QWidget {
public:
    explicit TBenchScatter(QWidget* parent = nullptr);

    // aboutReference: the centre is the surveyed point, else each mean.
    void SetSeries(std::vector<BenchScatterSeries> series, bool aboutReference);
    // The grid step of the last drawing, in metres (0 before any point).
    double StepM() const { return stepM_; }
    static QColor ReceiverColour(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Draw();

    std::vector<BenchScatterSeries> series_;
    bool aboutReference_ = false;
    double stepM_ = 0;
    QImage image_;
};
