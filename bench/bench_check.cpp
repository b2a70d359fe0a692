// A returned form read back and checked (every field read, every amount
// read again, every total worked out anew), beside qpdf listing the same
// form as JSON (qpdf --json), which is what a form tool does today. The
// form is filled in by MuPDF with its scripts running, as a reader saves it.
#include "form_check.h"
#include "pdf_form.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFJob.hh>
#include <qpdf/QPDFLogger.hh>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// A filled-in week, saved; its name.
QString Filled_Form(const QTemporaryDir &dir)
{
    const QString blank = dir.filePath(QStringLiteral("blank.pdf")), filled = dir.filePath(QStringLiteral("filled.pdf"));
    if (!Write_Page_Pdf(QFile::encodeName(blank)).Ok())
        return {};
    QStringList values;
    for (const char *day : {"mon", "tue", "wed", "thu", "fri"})
        values << QStringLiteral("breakfast.%1=12.50").arg(QLatin1String(day))
               << QStringLiteral("lodging.%1=1,180.00").arg(QLatin1String(day));
    values << "breakfast.total_cash=62.50" << "lodging.total_charge=5,900.00" << "name=Ana Kadıköy";
    const int filledIn = QProcess::execute("mutool", QStringList{"run", BENCH_SOURCE_DIR "/../tests/print/mutool-save.js",
                                                                 blank, filled} + values);
    return filledIn == 0 ? filled : blank;
}

void Check_Returned_Form(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile file(Filled_Form(dir));
    if (!file.open(QIODevice::ReadOnly))
        return state.SkipWithError("no form");
    const QByteArray pdf = file.readAll();
    for (auto _ : state) {
        const Result<Form_Values> values = Read_Returned_Form(pdf);
        if (!values.Ok())
            return state.SkipWithError(qPrintable(values.Message()));
        benchmark::DoNotOptimize(Check_Returned_Form(values.Value()));
    }
}
BENCHMARK(Check_Returned_Form)->Unit(benchmark::kMillisecond);

void Qpdf_Json(benchmark::State &state)
{
    QTemporaryDir dir;
    const QByteArray form = QFile::encodeName(Filled_Form(dir));
    for (auto _ : state) {
        // The JSON into memory, as the check's report is made in memory.
        std::string json;
        QPDFJob job;
        job.getLogger()->setInfo(std::make_shared<Pl_String>("json", nullptr, json));
        job.getLogger()->setSave(std::make_shared<Pl_String>("json", nullptr, json), false);
        const char *argv[] = {"qpdf", "--json", form.constData(), nullptr};
        job.initializeFromArgv(argv);
        job.run();
        benchmark::DoNotOptimize(json);
    }
}
BENCHMARK(Qpdf_Json)->Unit(benchmark::kMillisecond);

} // namespace
