// A surface that draws nothing and writes down every call with its
// arguments, for checking what the primitives and the page ask of a surface.
// Text metrics are simple and exact: every character is FontSize x 12.5
// units wide (100 at 8 points) and every line FontSize x 25 units high.
#pragma once

#include "surface.h"

#include <QStringList>

#include <algorithm>

class Recording_Surface : public Surface {
public:
    explicit Recording_Surface(bool printer = false) : printer_(printer) {}

    // One entry per call, e.g. "DrawWidth 1", "Line 2640 1600 5020 1600 0 segment",
    // "Print NAME:" or "PaintPicture 76x75 3340 90 790 790".
    const QStringList &Calls() const { return calls_; }

    bool Is_Printer() const override { return printer_; }
    void Cls() override { calls_ << QStringLiteral("Cls"); }
    Single Width() const override { return width_; }
    Single Height() const override { return height_; }
    void Set_Width(Single width) override { Record(u"Width", width_ = width); }
    void Set_Height(Single height) override { Record(u"Height", height_ = height); }
    void Set_DrawWidth(Integer width) override { Record(u"DrawWidth", width), Surface::Set_DrawWidth(width); }
    void Set_DrawStyle(Integer style) override { Record(u"DrawStyle", style), Surface::Set_DrawStyle(style); }
    void Set_FillColor(Long color) override
    {
        calls_ << QStringLiteral("FillColor %1").arg(color);
        Surface::Set_FillColor(color);
    }
    void Set_FillStyle(Integer style) override { Record(u"FillStyle", style), Surface::Set_FillStyle(style); }
    void Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box) override
    {
        calls_ << QStringLiteral("Line %1 %2 %3 %4 %5 %6")
                      .arg(Num(x1), Num(y1), Num(x2), Num(y2), QString::number(color),
                           box ? QStringLiteral("box") : QStringLiteral("segment"));
    }
    void Set_FontName(const QString &name) override { Record(u"FontName", name), Surface::Set_FontName(name); }
    void Set_FontSize(Single points) override { Record(u"FontSize", points), Surface::Set_FontSize(points); }
    void Set_FontBold(bool on) override { Record(u"FontBold", on), Surface::Set_FontBold(on); }
    void Set_FontItalic(bool on) override { Record(u"FontItalic", on), Surface::Set_FontItalic(on); }
    void Set_FontUnderline(bool on) override { Record(u"FontUnderline", on), Surface::Set_FontUnderline(on); }
    Single TextWidth(const QString &text) override
    {
        Record(u"TextWidth", text);
        qsizetype widest = 0;
        for (const QString &line : Text_Lines(text))
            widest = std::max(widest, line.size());
        return Single(widest) * FontSize() * Single(12.5);
    }
    Single TextHeight(const QString &text) override
    {
        Record(u"TextHeight", text);
        return Single(Text_Lines(text).size()) * FontSize() * Single(25);
    }
    void Set_CurrentX(Single x) override { Record(u"CurrentX", x), Surface::Set_CurrentX(x); }
    void Set_CurrentY(Single y) override { Record(u"CurrentY", y), Surface::Set_CurrentY(y); }
    void Print(const QString &text) override
    {
        Record(u"Print", text);
        Surface::Set_CurrentX(0);
        Surface::Set_CurrentY(CurrentY() + FontSize() * Single(25));
    }
    void PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height) override
    {
        if (picture.isNull())
            throw RuntimeError(Err_Invalid_Picture, "Invalid picture");
        calls_ << QStringLiteral("PaintPicture %1x%2 %3 %4 %5 %6")
                      .arg(picture.width())
                      .arg(picture.height())
                      .arg(Num(x), Num(y), Num(width), Num(height));
    }
    void EndDoc() override { calls_ << QStringLiteral("EndDoc"); }

private:
    static QString Num(double value) { return QString::number(value, 'g', 9); }
    void Record(QStringView call, double value) { Record(call, Num(value)); }
    void Record(QStringView call, const QString &text) { calls_ << call.toString() + u' ' + text; }

    bool printer_;
    Single width_ = 0;
    Single height_ = 0;
    QStringList calls_;
};
