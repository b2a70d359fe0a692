// The numeric model: 16-bit Integers that overflow loudly, rounding halves
// to even, colours with red in the low byte.
#include "error_of.h"
#include "runtime.h"

#include <QTest>

#include <limits>

namespace {


} // namespace

class Test_Runtime : public QObject {
    Q_OBJECT
private slots:
    void rounding_takes_halves_to_even_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("2.5") << 2.5 << 2;
        QTest::newRow("3.5") << 3.5 << 4;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("-3.5") << -3.5 << -4;
        QTest::newRow("0.5") << 0.5 << 0;
        QTest::newRow("1.5") << 1.5 << 2;
        QTest::newRow("2.4999") << 2.4999 << 2;
        QTest::newRow("2.5001") << 2.5001 << 3;
        QTest::newRow("-0.4") << -0.4 << 0;
        QTest::newRow("32767.4") << 32767.4 << 32767;
        QTest::newRow("-32768.5 rounds to the even bound") << -32768.5 << -32768;
    }
    void rounding_takes_halves_to_even()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        QCOMPARE(int(CInt(value)), expected);
    }

    void conversion_outside_the_range_overflows_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("32767.5") << 32767.5;
        QTest::newRow("32768") << 32768.0;
        QTest::newRow("-32768.51") << -32768.51;
        QTest::newRow("-32769") << -32769.0;
        QTest::newRow("huge") << 1e12;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("inf") << std::numeric_limits<double>::infinity();
    }
    void conversion_outside_the_range_overflows()
    {
        QFETCH(double, value);
        QCOMPARE(Error_Of([&] { CInt(value); }), int(Err_Overflow));
    }

    void arithmetic_overflows_at_the_bounds()
    {
        QCOMPARE(int(Add(32766, 1)), 32767);
        QCOMPARE(Error_Of([] { Add(32767, 1); }), int(Err_Overflow));
        QCOMPARE(int(Sub(-32767, 1)), -32768);
        QCOMPARE(Error_Of([] { Sub(-32768, 1); }), int(Err_Overflow));
        QCOMPARE(Error_Of([] { Add(-32768, -1); }), int(Err_Overflow));
        QCOMPARE(Error_Of([] { Sub(0, -32768); }), int(Err_Overflow));
        QCOMPARE(int(Add(31427, 1340)), 32767);
        QCOMPARE(Error_Of([] { Add(31428, 1340); }), int(Err_Overflow));
    }

    void errors_carry_number_and_description()
    {
        try {
            Raise_Overflow();
            QFAIL("no error raised");
        } catch (const RuntimeError &error) {
            QCOMPARE(error.number(), 6);
            QVERIFY(QByteArray(error.what()).contains("Overflow"));
        }
        try {
            Raise_Invalid_Property_Value();
            QFAIL("no error raised");
        } catch (const RuntimeError &error) {
            QCOMPARE(error.number(), 380);
            QVERIFY(QByteArray(error.what()).contains("Invalid property value"));
        }
    }

    void colours_put_red_in_the_low_byte()
    {
        QCOMPARE(RGB(200, 200, 200), 13158600);
        QCOMPARE(RGB(255, 255, 255), 16777215);
        QCOMPARE(RGB(255, 0, 0), 255);
        QCOMPARE(RGB(0, 0, 255), 16711680);
        QCOMPARE(RGB(1, 2, 3), 1 + 2 * 256 + 3 * 65536);
    }
};

QTEST_APPLESS_MAIN(Test_Runtime)
#include "test_runtime.moc"
