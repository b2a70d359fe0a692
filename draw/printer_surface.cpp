#include "printer_surface.h"

void Set_Up_Letter(QPagedPaintDevice &device)
{
    device.setPageSize(QPageSize(QPageSize::Letter));
    device.setPageOrientation(QPageLayout::Portrait);
}

Printer_Surface::Printer_Surface(QPagedPaintDevice &device) : device_(device) {}

Printer_Surface::~Printer_Surface() = default;

double Printer_Surface::Device_Per_Unit_X() const
{
    return device_.logicalDpiX() / double(Twips_Per_Inch);
}

double Printer_Surface::Device_Per_Unit_Y() const
{
    return device_.logicalDpiY() / double(Twips_Per_Inch);
}

double Printer_Surface::Hatch_Scale() const
{
    // The hatch cell is as large on paper as on a 96 DPI screen at 100 %.
    return device_.logicalDpiY() / 96.0;
}

Single Printer_Surface::Width() const
{
    return Single(device_.width() / Device_Per_Unit_X());
}

Single Printer_Surface::Height() const
{
    return Single(device_.height() / Device_Per_Unit_Y());
}

void Printer_Surface::Cls()
{
    Raise_Not_Supported();
}

void Printer_Surface::Set_Width(Single)
{
    Raise_Not_Supported();
}

void Printer_Surface::Set_Height(Single)
{
    Raise_Not_Supported();
}

void Printer_Surface::Paint(std::function<void(QPainter &)> operation)
{
    page_.push_back(std::move(operation));
}

void Printer_Surface::Discard()
{
    page_.clear();
}

void Printer_Surface::EndDoc()
{
    std::vector<std::function<void(QPainter &)>> page;
    page.swap(page_);
    QPainter painter;
    if (!painter.begin(&device_))
        throw RuntimeError(Err_Printer, "Printer error: the printer could not be opened");
    painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
    // Pictures reach the paper as their pixels are: a PDF writer would
    // otherwise store them as JPEG, with its colour errors and ringing.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    // A device used again keeps, in Qt's PDF engine, the transform its last
    // document ended with until the painter sets one: the logos, drawn
    // first, came out enlarged at the foot of every page printed after the
    // first. The identity, set here, reaches the engine.
    painter.resetTransform();
    for (const auto &operation : page)
        operation(painter);
    if (!painter.end())
        throw RuntimeError(Err_Printer, "Printer error: the page could not be finished");
    ++documents_;
}
