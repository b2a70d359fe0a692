// The start-up check of the platform quirks notices each hook that is gone.
#include "platform_quirks.h"
#include "start_up.h"

#include <QDialog>
#include <QPrintDialog>
#include <QTest>

#include <functional>

class Test_Quirks : public QObject {
    Q_OBJECT
private slots:
    void Check_data();
    void Check();
    void Said_Once();
};

using Break = std::function<void(Platform_Hooks &)>;
Q_DECLARE_METATYPE(Break)
Q_DECLARE_METATYPE(QList<Quirk>)

void Test_Quirks::Check_data()
{
    QTest::addColumn<Break>("gone");
    QTest::addColumn<QList<Quirk>>("missing");
    // A name in the plugin's table of names, whole, in place of another.
    const auto replace = [](const char *name, const char *by) {
        return Break([=](Platform_Hooks &found) {
            found.cups_plugin.replace(QByteArray(1, '\0').append(name).append('\0'),
                                      QByteArray(1, '\0').append(by).append('\0'));
        });
    };
    // As found here (Debian 12's Qt 6.4.2 and CUPS 2.4): every hook there.
    QTest::newRow("this Qt") << Break([](Platform_Hooks &) {}) << QList<Quirk>{};
    QTest::newRow("bridge not met") << Break([](Platform_Hooks &found) {
        found.bridge_expected = true;
        found.bridge_caught = false;
    }) << QList{Quirk::Late_Screen_Reader};
    QTest::newRow("dialog slot gone")
        << Break([](Platform_Hooks &found) { found.print_dialog = &QDialog::staticMetaObject; })
        << QList{Quirk::Print_Dialog_Checks};
    QTest::newRow("no CUPS plugin") << Break([](Platform_Hooks &found) { found.cups_plugin.clear(); })
                                    << QList{Quirk::Qt_Cups_Calls};
    QTest::newRow("plugin enumerates") << replace("cupsGetDests", "cupsEnumDests") << QList{Quirk::Qt_Cups_Calls};
    QTest::newRow("plugin without cupsGetPPD") << replace("cupsGetPPD", "cupsGetPPX") << QList{Quirk::Qt_Cups_Calls};
    QTest::newRow("own calls not first") << Break([](Platform_Hooks &found) { found.cups_calls_first = false; })
                                         << QList{Quirk::Qt_Cups_Calls};
}

void Test_Quirks::Check()
{
    QFETCH(Break, gone);
    QFETCH(QList<Quirk>, missing);
    Platform_Hooks found = Found_Platform_Hooks();
    QVERIFY2(!found.bridge_expected, "offscreen, Qt makes no accessibility bridge");
    QCOMPARE(found.print_dialog, &QPrintDialog::staticMetaObject);
    gone(found);
    QCOMPARE(Check_Platform_Quirks(found), missing);
}

void Test_Quirks::Said_Once()
{
    QVERIFY(Quirk_Missing(Quirk::Cups_Options_Key));
    QVERIFY(!Quirk_Missing(Quirk::Cups_Options_Key));
}

QTEST_MAIN(Test_Quirks)
#include "test_quirks.moc"
