#include "preview_surface.h"

#include <cmath>

namespace {

// Fonts are sized in device pixels; a device of 72 DPI makes one point one pixel.
constexpr int Dots_Per_Meter_72_Dpi = 2835;

int Pixels(Single twips, Single twipsPerPixel)
{
    return std::max(1, int(Round_Half_Even(double(twips) / double(twipsPerPixel))));
}

constexpr std::size_t Spare_Images = 2; // the view's and one more

} // namespace

Preview_Surface::Preview_Surface() : metricsImage_(1, 1, QImage::Format_RGB32)
{
    metricsImage_.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
    metricsImage_.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
}

Preview_Surface::~Preview_Surface()
{
    Finish();
}

double Preview_Surface::Device_Per_Unit_X() const
{
    return ratio_ / double(Screen.TwipsPerPixelX);
}

double Preview_Surface::Device_Per_Unit_Y() const
{
    return ratio_ / double(Screen.TwipsPerPixelY);
}

Single Preview_Surface::Width() const
{
    return Single(pixels_.width()) * Screen.TwipsPerPixelX;
}

Single Preview_Surface::Height() const
{
    return Single(pixels_.height()) * Screen.TwipsPerPixelY;
}

void Preview_Surface::Set_Width(Single width)
{
    Resize(QSize(Pixels(width, Screen.TwipsPerPixelX), pixels_.height()));
}

void Preview_Surface::Set_Height(Single height)
{
    Resize(QSize(pixels_.width(), Pixels(height, Screen.TwipsPerPixelY)));
}

void Preview_Surface::Resize(QSize pixels)
{
    if (pixels == pixels_)
        return;
    Finish();
    const QImage old = image_;
    pixels_ = pixels;
    image_ = QImage();
    if (!old.isNull()) {
        // Whatever was drawn stays in the top-left corner.
        Paint([&old](QPainter &painter) { painter.drawImage(0, 0, old); });
    }
    ++generation_;
}

QSize Preview_Surface::Device_Size() const
{
    return QSize(std::max(1, int(std::ceil(pixels_.width() * ratio_ - 1e-9))),
                 std::max(1, int(std::ceil(pixels_.height() * ratio_ - 1e-9))));
}

QImage Preview_Surface::Blank_Image()
{
    const QSize device = Device_Size();
    QImage image;
    for (auto spare = spare_.begin(); spare != spare_.end(); ++spare) {
        if (spare->size() == device && spare->isDetached()) {
            image = std::move(*spare);
            spare_.erase(spare);
            break;
        }
    }
    if (image.isNull()) {
        image = QImage(device, QImage::Format_RGB32);
        image.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
        image.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
    }
    image.fill(back_);
    return image;
}

void Preview_Surface::Set_Device_Pixel_Ratio(qreal ratio)
{
    if (!(ratio > 0) || ratio == ratio_)
        return;
    Finish();
    ratio_ = ratio;
    image_ = QImage();
    spare_.clear();
    Forget_Fonts();
    ++generation_;
}

void Preview_Surface::Cls()
{
    Finish();
    if (!image_.isNull()) {
        if (spare_.size() == Spare_Images)
            spare_.erase(spare_.begin());
        spare_.push_back(std::move(image_));
    }
    image_ = QImage();
    Surface::Set_CurrentX(0);
    Surface::Set_CurrentY(0);
    ++generation_;
}

void Preview_Surface::EndDoc()
{
    Raise_Not_Supported();
}

void Preview_Surface::Paint(std::function<void(QPainter &)> operation)
{
    if (image_.isNull())
        image_ = Blank_Image();
    if (!painter_.isActive()) {
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::NonCosmeticBrushPatterns);
    }
    operation(painter_);
    ++generation_;
}

void Preview_Surface::Finish()
{
    if (painter_.isActive())
        painter_.end();
}

const QImage &Preview_Surface::Image()
{
    Finish();
    if (image_.isNull())
        image_ = Blank_Image();
    return image_;
}
