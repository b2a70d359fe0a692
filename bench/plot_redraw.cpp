// plot_redraw: draws bench_peer's redraw times against zoom as a PNG.
//
//   plot_redraw peer.json out.png
//
// One line per renderer and device pixel ratio, times on a log scale; the
// medians when the runs were repeated.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

struct Series {
    QString who;
    int ratio;
    QMap<double, double> millis; // zoom -> ms
};

double To_Millis(double time, const QString &unit)
{
    if (unit == QLatin1String("ns"))
        return time / 1e6;
    if (unit == QLatin1String("us"))
        return time / 1e3;
    if (unit == QLatin1String("s"))
        return time * 1e3;
    return time;
}

// Each renderer's and ratio's times by zoom: the medians of repeated runs
// where there are some, else the runs themselves.
QMap<QString, Series> Read_Series(const QJsonArray &runs)
{
    static const QRegularExpression name(QStringLiteral("^Redraw/(\\w+)/zoom:([0-9.]+)/ratio:(\\d+)$"));
    bool repeated = false;
    for (const QJsonValue &value : runs)
        repeated |= value.toObject().value("aggregate_name").toString() == QLatin1String("median");
    QMap<QString, Series> series;
    for (const QJsonValue &value : runs) {
        const QJsonObject run = value.toObject();
        const bool wanted = repeated ? run.value("aggregate_name").toString() == QLatin1String("median")
                                     : run.value("run_type").toString() == QLatin1String("iteration");
        if (!wanted || run.contains("error_occurred"))
            continue;
        const auto match = name.match(run.value("run_name").toString());
        if (!match.hasMatch())
            continue;
        Series &s = series[match.captured(1) + match.captured(3)];
        s.who = match.captured(1);
        s.ratio = match.captured(3).toInt();
        s.millis[match.captured(2).toDouble()] =
            To_Millis(run.value("real_time").toDouble(), run.value("time_unit").toString());
    }
    return series;
}

// Where a zoom and a time fall on the plot: zoom 0.4 to 2.3 across, whole
// decades of milliseconds up, on a log scale.
struct Axes {
    QRectF plot;
    double decadeLow, decadeHigh;
    double X(double zoom) const { return plot.left() + (zoom - 0.4) / (2.3 - 0.4) * plot.width(); }
    double Y(double ms) const
    {
        return plot.bottom() - (std::log10(ms) - decadeLow) / (decadeHigh - decadeLow) * plot.height();
    }
};

void Draw_Axes(QPainter &p, const Axes &axes, int width)
{
    const QRectF &plot = axes.plot;
    p.setPen(QColor(220, 220, 220));
    for (double d = axes.decadeLow; d <= axes.decadeHigh; ++d)
        for (int m = 1; m < 10; ++m) {
            const double ms = m * std::pow(10.0, d);
            if (ms > std::pow(10.0, axes.decadeHigh))
                break;
            p.drawLine(QPointF(plot.left(), axes.Y(ms)), QPointF(plot.right(), axes.Y(ms)));
        }
    p.setPen(Qt::black);
    p.drawRect(plot);
    for (double d = axes.decadeLow; d <= axes.decadeHigh; ++d) {
        const double ms = std::pow(10.0, d);
        p.drawText(QRectF(0, axes.Y(ms) - 10, plot.left() - 8, 20), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(ms) + QStringLiteral(" ms"));
    }
    for (double zoom : {0.5, 1.0, 2.2}) {
        p.drawLine(QPointF(axes.X(zoom), plot.bottom()), QPointF(axes.X(zoom), plot.bottom() + 5));
        p.drawText(QRectF(axes.X(zoom) - 40, plot.bottom() + 8, 80, 20), Qt::AlignCenter,
                   QString::number(zoom) + QStringLiteral("×"));
    }
    p.drawText(QRectF(plot.left(), plot.bottom() + 30, plot.width(), 20), Qt::AlignCenter, QStringLiteral("zoom"));
    QFont font = p.font();
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 12, width, 24), Qt::AlignCenter, QStringLiteral("Redraw of the page against zoom (log scale)"));
    font.setBold(false);
    p.setFont(font);
}

// One line a series, in the order of the table (ours, the peers, the
// floor), each with its entry in the legend.
void Draw_Series(QPainter &p, const Axes &axes, QList<Series> ordered)
{
    const QMap<QString, QColor> colours{{QStringLiteral("quorvel"), QColor(20, 90, 200)},
                                        {QStringLiteral("poppler"), QColor(200, 40, 30)},
                                        {QStringLiteral("mupdf_page"), QColor(230, 140, 20)},
                                        {QStringLiteral("mupdf_list"), QColor(40, 150, 60)},
                                        {QStringLiteral("floor"), QColor(110, 110, 110)}};
    const QMap<QString, QString> labels{{QStringLiteral("quorvel"), QStringLiteral("Quorvel preview")},
                                        {QStringLiteral("poppler"), QStringLiteral("poppler, printed PDF")},
                                        {QStringLiteral("mupdf_page"), QStringLiteral("MuPDF, page each time")},
                                        {QStringLiteral("mupdf_list"), QStringLiteral("MuPDF, display list")},
                                        {QStringLiteral("floor"), QStringLiteral("clearing the canvas (floor)")}};
    const QStringList table{QStringLiteral("quorvel"), QStringLiteral("poppler"), QStringLiteral("mupdf_page"),
                            QStringLiteral("mupdf_list"), QStringLiteral("floor")};
    std::stable_sort(ordered.begin(), ordered.end(), [&](const Series &a, const Series &b) {
        return std::pair(table.indexOf(a.who), a.ratio) < std::pair(table.indexOf(b.who), b.ratio);
    });
    int row = 0;
    for (const Series &s : ordered) {
        QPen pen(colours.value(s.who, Qt::black), s.who == QLatin1String("quorvel") ? 3.5 : 2.5,
                 s.ratio == 1 ? Qt::SolidLine : Qt::DashLine);
        p.setPen(pen);
        QPainterPath path;
        for (auto it = s.millis.cbegin(); it != s.millis.cend(); ++it) {
            const QPointF point(axes.X(it.key()), axes.Y(it.value()));
            if (it == s.millis.cbegin())
                path.moveTo(point);
            else
                path.lineTo(point);
            p.setBrush(pen.color());
            p.drawEllipse(point, 3.5, 3.5);
        }
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        const double y = axes.plot.top() + 10 + row * 26;
        p.drawLine(QPointF(axes.plot.right() + 15, y), QPointF(axes.plot.right() + 50, y));
        p.setPen(Qt::black);
        p.drawText(QPointF(axes.plot.right() + 58, y + 5),
                   labels.value(s.who, s.who) + QStringLiteral(", ratio ") + QString::number(s.ratio));
        ++row;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: plot_redraw peer.json out.png\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "plot_redraw: cannot read %s\n", argv[1]);
        return 1;
    }
    const QMap<QString, Series> series =
        Read_Series(QJsonDocument::fromJson(in.readAll()).object().value("benchmarks").toArray());
    if (series.isEmpty()) {
        std::fprintf(stderr, "plot_redraw: no Redraw runs in %s\n", argv[1]);
        return 1;
    }
    double low = INFINITY, high = 0;
    for (const Series &s : series)
        for (double ms : s.millis) {
            low = std::min(low, ms);
            high = std::max(high, ms);
        }
    const Axes axes{QRectF(90, 50, 600, 440), std::floor(std::log10(low)), std::ceil(std::log10(high))};

    const QSize size(1080, 560);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    p.setFont(font);
    Draw_Axes(p, axes, size.width());
    Draw_Series(p, axes, series.values());
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "plot_redraw: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
