// The printer: addressed in twips from the top-left corner of the printable
// area, pen widths in printer pixels, font sizes in points. The page is
// collected as it is drawn and goes to the printer only at EndDoc, so a
// drawing that fails half way never leaves a half-drawn job behind.
#pragma once

#include "painter_surface.h"

#include <QPagedPaintDevice>

#include <vector>

// The page every print is made on: US Letter, portrait.
void Set_Up_Letter(QPagedPaintDevice &device);

class Printer_Surface : public Painter_Surface {
public:
    // The device is a QPrinter (or a QPdfWriter) set up by the caller.
    explicit Printer_Surface(QPagedPaintDevice &device);
    ~Printer_Surface() override;

    bool Is_Printer() const override { return true; }
    void Cls() override;
    // The printable area in twips.
    Single Width() const override;
    Single Height() const override;
    void Set_Width(Single width) override;
    void Set_Height(Single height) override;
    // Opens the device, draws the collected page on it and closes it: one
    // document of one page. Raises Err_Printer when the device cannot be opened.
    void EndDoc() override;

    // Drops what was drawn since the last EndDoc; nothing reaches the printer.
    void Discard();
    // Documents ended so far.
    int Documents() const { return documents_; }

protected:
    double Device_Per_Unit_X() const override;
    double Device_Per_Unit_Y() const override;
    double Device_Per_Pen_Pixel() const override { return 1; }
    double Hatch_Scale() const override;
    bool Snap_To_Pixels() const override { return false; }
    QPaintDevice *Metrics_Device() override { return &device_; }
    void Paint(std::function<void(QPainter &)> operation) override;

private:
    QPagedPaintDevice &device_;
    std::vector<std::function<void(QPainter &)>> page_;
    int documents_ = 0;
};
