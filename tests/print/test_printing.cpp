// The "PDF" command, with the printer dialog replaced: what reaches the
// printer, what a cancel and a failed print leave behind.
#include "faulty_targets.h"
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printing.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class Test_Printing : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    Preview_Surface preview_;
    int dialogs_ = 0;
    QPrinter *printer_ = nullptr;
    QStringList failures_;

    // A dialog that chooses "Print to File (PDF)" with `file` and confirms,
    // or (file empty) one that is cancelled.
    void Dialog_Printing_To(const QString &file)
    {
        Set_Printer_Dialog([this, file](QPrinter &printer, QWidget *) {
            ++dialogs_;
            printer_ = &printer;
            if (file.isEmpty())
                return false;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            return true;
        });
    }

    // The printable area's top-left corner in points.
    QPointF Printable_Top_Left() const
    {
        return printer_->pageLayout().paintRect(QPageLayout::Point).topLeft();
    }

private slots:
    void init()
    {
        dialogs_ = 0;
        printer_ = nullptr;
        failures_.clear();
        Set_Print_Failure_Report([this](QWidget *, const QString &reason) { failures_.append(reason); });
        OutputTarget = &preview_;
        Zoom_Factor = 0.5;
        Build_Page();
    }

    void cleanup()
    {
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
    }

    // One document of one Letter page, every label where the form puts it
    // and the ink where the preview at 100 % has it; the preview left as it
    // was, at the zoom it is drawn at.
    void printsTheFormOnOnePage()
    {
        const QString file = dir_.filePath(QStringLiteral("page.pdf"));
        Dialog_Printing_To(file);
        const quint64 generation = preview_.Generation();

        Print_Page(nullptr, preview_);

        QCOMPARE(dialogs_, 1);
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        QCOMPARE(OutputTarget, &preview_);
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(preview_.Generation(), generation);
        QVERIFY(dlgCommon.CancelError);
        QCOMPARE(dlgCommon.Flags, Long(0xC0004));
        QCOMPARE(Pdf_Page_Count(file), 1);
        QCOMPARE(Pdf_Page_Size(file), QSizeF(612, 792));
        Check_Label_Positions(Pdf_Words(file), Printable_Top_Left());
        Zoom_Factor = 1;
        Build_Page();
        Check_Same_Sheet(Pdf_Image(file, 96), Printable_Top_Left(), preview_.Image());
    }

    // A cancel prints nothing and says nothing; the next click shows the
    // dialog again, on the same printer with the earlier choice.
    void cancelLeavesEverythingAsItWas()
    {
        const QString chosen = dir_.filePath(QStringLiteral("chosen.pdf"));
        Dialog_Printing_To(chosen);
        Print_Page(nullptr, preview_);
        QVERIFY(QFileInfo::exists(chosen));
        QPrinter *first = printer_;

        Dialog_Printing_To({});
        Zoom_Factor = 0.5;
        const quint64 generation = preview_.Generation();
        QVERIFY(QFile::remove(chosen));
        const QStringList before = QDir(dir_.path()).entryList(QDir::Files);

        Print_Page(nullptr, preview_);
        Print_Page(nullptr, preview_);

        QCOMPARE(dialogs_, 3);
        QCOMPARE(printer_, first);
        QCOMPARE(printer_->outputFileName(), chosen);
        QVERIFY(!QFileInfo::exists(chosen));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), before);
        QVERIFY(failures_.isEmpty());
        QCOMPARE(OutputTarget, &preview_);
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(preview_.Generation(), generation);
    }

    // A print that cannot be written is reported with the file and the
    // system's reason; the old file stays as it was and nothing is left.
    void failedPrintKeepsTheOldFile_data() { Faulty_Targets_Data(dir_.path()); }
    void cleanupTestCase() { Faulty_Targets_Cleanup(dir_.path()); }
    void failedPrintKeepsTheOldFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        const QString folder = QFileInfo(file).path();
        const QStringList before = Folder_State(folder);
        Dialog_Printing_To(file);

        Print_Page(nullptr, preview_);

        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_.first().contains(file) && failures_.first().contains(reason), qPrintable(failures_.first()));
        QCOMPARE(Folder_State(folder), before);
        QCOMPARE(OutputTarget, &preview_);
        QCOMPARE(Zoom_Factor, Single(0.5));
    }

    // The print command's flags in the printer dialog: no selection
    // printing, and printing to a file stays possible.
    void dialogFlagsMapOntoTheDialogsOptions()
    {
        const auto all = QAbstractPrintDialog::PrintDialogOptions(
            QAbstractPrintDialog::PrintSelection | QAbstractPrintDialog::PrintPageRange |
            QAbstractPrintDialog::PrintShowPageSize);
        const auto options = Printer_Dialog_Options(all, 0xC0004);
        QVERIFY(!options.testFlag(QAbstractPrintDialog::PrintSelection));
        QVERIFY(options.testFlag(QAbstractPrintDialog::PrintToFile));
        QVERIFY(options.testFlag(QAbstractPrintDialog::PrintCollateCopies));
        QVERIFY(options.testFlag(QAbstractPrintDialog::PrintPageRange));
        QCOMPARE(Printer_Dialog_Options(all, 0), all);
    }
};

QTEST_MAIN(Test_Printing)
#include "test_printing.moc"
