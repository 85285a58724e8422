#pragma once
// Raster primitives for the plot bitmaps, drawn pixel by pixel so the result
// is the same on every platform: lines stop short of their end point, circles
// are outlines inside their bounding box, texts are unsmoothed and sit with
// their top-left corner at the given point on an opaque background.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

// The font of texts drawn into bitmaps: the 8-point sans-serif face, without
// smoothing, so every text pixel is exactly the text colour.
QFont BitmapFont();

// A 32-bit image of the given size, filled with one colour.
QImage MakeBitmap(int width, int height, QRgb fill);

// Direct pixel access to a 32-bit image for the duration of one drawing
// operation; pixels outside the image are skipped.
class Raster {
public:
    explicit Raster(QImage& image)
        : bits_(reinterpret_cast<QRgb*>(image.bits())), stride_(image.bytesPerLine() / int(sizeof(QRgb))),
          width_(image.width()), height_(image.height())
    {
    }
    void Put(int x, int y, QRgb color)
    {
        if (unsigned(x) < unsigned(width_) && unsigned(y) < unsigned(height_))
            bits_[qsizetype(y) * stride_ + x] = color;
    }
    QRgb* Row(int y) { return bits_ + qsizetype(y) * stride_; }

private:
    QRgb* bits_;
    int stride_;
    int width_;
    int height_;
};

inline void PutPixel(QImage& image, int x, int y, QRgb color) { Raster(image).Put(x, y, color); }

// From (x0, y0) up to, but not including, (x1, y1); pixels outside the image
// are skipped.
void DrawLine(QImage& image, int x0, int y0, int x1, int y1, QRgb color);
// The outline of the circle (or ellipse) filling pixels left..right-1,
// top..bottom-1.
void DrawEllipseOutline(QImage& image, int left, int top, int right, int bottom, QRgb color);
// A filled disk in the same kind of box.
void DrawFilledEllipse(QImage& image, int left, int top, int right, int bottom, QRgb color);
// Text with its cell's top-left corner at (x, y), on an opaque background.
// Returns the part of the image drawn.
QRect DrawText(QImage& image, int x, int y, const QString& text, QRgb color, QRgb background);
// Copies src into dst at (0, 0) without allocating when sizes match.
void CopyPixels(QImage& dst, const QImage& src);
