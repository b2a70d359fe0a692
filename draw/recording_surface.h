// A surface that draws nothing and writes down every call with its
// arguments, for checking what the primitives and the page ask of a surface.
// Text metrics are simple and exact: every character is FontSize x 12.5
// units wide (100 at 8 points) and every line FontSize x 25 units high.
#pragma once

#include "surface.h"

#include <QStringList>

class Recording_Surface : public Surface {
public:
    explicit Recording_Surface(bool printer = false) : printer_(printer) {}

    // One entry per call, e.g. "DrawWidth 1", "Line 2640 1600 5020 1600 0 segment",
    // "Print NAME:" or "PaintPicture 76x75 3340 90 790 790".
    const QStringList &Calls() const { return calls_; }
    // Only the calls of one operation, e.g. Calls_Of("Line").
    QStringList Calls_Of(const QString &operation) const;
    void Clear_Calls() { calls_.clear(); }

    bool Is_Printer() const override { return printer_; }
    void Cls() override;
    Single Width() const override { return width_; }
    Single Height() const override { return height_; }
    void Set_Width(Single width) override;
    void Set_Height(Single height) override;
    void Set_DrawWidth(Integer width) override;
    void Set_DrawStyle(Integer style) override;
    void Set_FillColor(Long color) override;
    void Set_FillStyle(Integer style) override;
    void Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box) override;
    void Set_FontName(const QString &name) override;
    void Set_FontSize(Single points) override;
    void Set_FontBold(bool on) override;
    void Set_FontItalic(bool on) override;
    void Set_FontUnderline(bool on) override;
    Single TextWidth(const QString &text) override;
    Single TextHeight(const QString &text) override;
    void Set_CurrentX(Single x) override;
    void Set_CurrentY(Single y) override;
    void Print(const QString &text) override;
    void PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height) override;
    void EndDoc() override;

private:
    void Record(const QString &entry) { calls_.append(entry); }

    bool printer_;
    Single width_ = 0;
    Single height_ = 0;
    QStringList calls_;
};
