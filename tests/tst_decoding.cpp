// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the transmitter's replies mean, as tables: no line, no window.
#include "link/ReplyDecoding.h"
#include "link/TxReading.h"
#include "settings/BandLimits.h"

#include <QtTest>

#include <cmath>

using namespace ReplyDecoding;

class DecodingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void temperature_data();
    void temperature();
    void twoStates_data();
    void twoStates();
    void frequencies_data();
    void frequencies();
    void numbers_data();
    void numbers();
    void vswr_data();
    void vswr();
    void bandLimits_data();
    void bandLimits();
};

void DecodingTest::temperature_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("celsius");
    QTest::addColumn<bool>("alarm");
    QTest::newRow("176 lights the alarm") << "176" << 72 << true;
    QTest::newRow("175 does not") << "175" << 70 << false;
    QTest::newRow("130") << "130" << -20 << false;
    QTest::newRow("000") << "000" << -280 << false;
    QTest::newRow("999") << "999" << 1718 << true;
    QTest::newRow("a point stops the number") << "17.6" << -246 << false;
    QTest::newRow("two characters") << "42" << -196 << false;
    QTest::newRow("garbage reads as zeros") << "a?b" << -280 << false;
}

void DecodingTest::temperature()
{
    QFETCH(QString, reply);
    const qint16 raw = leadingNumber(reply);
    QTEST(int(celsiusFromRaw(raw)), "celsius");
    QTEST(temperatureAlarm(raw), "alarm");
}

void DecodingTest::twoStates_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("state");
    QTest::newRow("9") << "9" << int(TwoState::Yes);
    QTest::newRow("0") << "0" << int(TwoState::No);
    QTest::newRow("09 is neither") << "09" << int(TwoState::Other);
    QTest::newRow("9 and a blank") << "9 " << int(TwoState::Other);
    QTest::newRow("empty") << "" << int(TwoState::Other);
    QTest::newRow("1") << "1" << int(TwoState::Other);
}

void DecodingTest::twoStates()
{
    QFETCH(QString, reply);
    QTEST(int(twoState(reply)), "state");
}

void DecodingTest::frequencies_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("kHz"); // -1: no frequency
    QTest::addColumn<QString>("shown");
    QTest::newRow("107.9 MHz") << "107900" << 107900 << "107.900 MHz";
    QTest::newRow("87.5 MHz") << "087500" << 87500 << "087.500 MHz";
    QTest::newRow("more than six characters") << "1079001" << 107900 << "107.900 MHz";
    QTest::newRow("five digits only") << "10790" << -1 << "";
    QTest::newRow("a letter inside") << "10x900" << -1 << "";
    QTest::newRow("empty") << "" << -1 << "";
}

void DecodingTest::frequencies()
{
    QFETCH(QString, report);
    QFETCH(int, kHz);
    const std::optional<qint32> decoded = frequencyKHz(report);
    QCOMPARE(decoded.has_value(), kHz >= 0);
    if (decoded) {
        QCOMPARE(*decoded, kHz);
        QTEST(frequencyText(*decoded), "shown");
    }
}

void DecodingTest::numbers_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("12.5") << "12.5" << true << 12.5 << "12.5";
    QTest::newRow("blanks around") << " 0.3 " << true << 0.3 << " 0.3 ";
    QTest::newRow("dashes") << "--" << false << 0.0 << "--";
    QTest::newRow("empty") << "" << false << 0.0 << "";
    QTest::newRow("not a number") << "nan" << false << 0.0 << "nan";
    QTest::newRow("control bytes") << QString::fromLatin1("1\x01"
                                                          "2")
                                   << false << 0.0 << "1?2";
}

void DecodingTest::numbers()
{
    QFETCH(QString, reply);
    QFETCH(bool, isNumber);
    const std::optional<double> decoded = number(reply);
    QCOMPARE(decoded.has_value(), isNumber);
    if (decoded)
        QTEST(*decoded, "value");
    QTEST(printable(reply), "shown");
}

void DecodingTest::vswr_data()
{
    QTest::addColumn<double>("forward");
    QTest::addColumn<double>("reflected");
    QTest::addColumn<double>("vswr"); // 0: none
    QTest::newRow("no reflection") << 100.0 << 0.0 << 1.0;
    QTest::newRow("1 % reflected") << 100.0 << 1.0 << 1.2222;
    QTest::newRow("12.5 W and 0.3 W") << 12.5 << 0.3 << 1.3667;
    QTest::newRow("no forward power") << 0.0 << 0.3 << 0.0;
    QTest::newRow("reflected equal to forward") << 5.0 << 5.0 << 0.0;
    QTest::newRow("reflected above forward") << 5.0 << 6.0 << 0.0;
}

void DecodingTest::vswr()
{
    QFETCH(double, forward);
    QFETCH(double, reflected);
    QFETCH(double, vswr);
    TxReading reading;
    QVERIFY(!reading.vswr()); // nothing read yet
    reading.forwardW.value = forward;
    reading.reflectedW.value = reflected;
    const std::optional<double> derived = reading.vswr();
    QCOMPARE(derived.has_value(), vswr > 0);
    if (derived)
        QVERIFY2(std::abs(*derived - vswr) < 0.001, qPrintable(QString::number(*derived)));
}

void DecodingTest::bandLimits_data()
{
    QTest::addColumn<QVariant>("up"); // invalid QVariant of type Nullptr: not stored
    QTest::addColumn<QVariant>("down");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("lowestAccepted"); // -1: none
    QTest::addColumn<int>("highestAccepted");
    QTest::addColumn<QStringList>("misspelt"); // keys stored in another letter case
    // What the refusal names, when unusable.
    QTest::addColumn<QString>("named");
    const QVariant absent = QVariant::fromValue(nullptr);
    QTest::newRow("nothing stored")
        << absent << absent << true << 0 << 1000000 << QStringList() << QString();
    QTest::newRow("FM band") << QVariant(QStringLiteral("108000"))
                             << QVariant(QStringLiteral("87500")) << true << 87500 << 108000
                             << QStringList() << QString();
    QTest::newRow("only lower") << absent << QVariant(QStringLiteral("87500")) << true << 87500
                                << 1000000 << QStringList() << QString();
    QTest::newRow("a list") << QVariant(QStringList{QStringLiteral("108"), QStringLiteral("000")})
                            << QVariant(QStringLiteral("87500")) << false << -1 << -1
                            << QStringList() << QString();
    QTest::newRow("invalid") << QVariant() << QVariant(QStringLiteral("87500")) << false << -1 << -1
                             << QStringList() << QString();
    QTest::newRow("a rectangle") << QVariant(QRect(0, 0, 1, 1)) << QVariant(QStringLiteral("0"))
                                 << false << -1 << -1 << QStringList() << QString();
    QTest::newRow("empty text") << QVariant(QString()) << absent << false << -1 << -1
                                << QStringList() << QString();
    QTest::newRow("Limitup instead of LimitUp")
        << absent << QVariant(QStringLiteral("87500")) << false << -1 << -1
        << QStringList{QStringLiteral("Limitup")} << "Limitup is not LimitUp";
    QTest::newRow("LIMITDOWN beside a good LimitUp")
        << QVariant(QStringLiteral("108000")) << absent << false << -1 << -1
        << QStringList{QStringLiteral("LIMITDOWN")} << "LIMITDOWN is not LimitDown";
    QTest::newRow("a misspelt key beside the right one")
        << QVariant(QStringLiteral("108000")) << QVariant(QStringLiteral("87500")) << false << -1
        << -1 << QStringList{QStringLiteral("limitUp")} << "limitUp is not LimitUp";
    QTest::newRow("misspelt, and a wrong value on the other side")
        << absent << QVariant(QStringLiteral("87.5")) << false << -1 << -1
        << QStringList{QStringLiteral("LIMITUP")} << "LimitDown \"87.5\" is not a whole number";
    QTest::newRow("another key misspelt: the band stands")
        << QVariant(QStringLiteral("108000")) << QVariant(QStringLiteral("87500")) << true << 87500
        << 108000 << QStringList{QStringLiteral("comm")} << QString();
}

void DecodingTest::bandLimits()
{
    QFETCH(QVariant, up);
    QFETCH(QVariant, down);
    QFETCH(bool, usable);
    QFETCH(int, lowestAccepted);
    QFETCH(int, highestAccepted);
    QFETCH(QStringList, misspelt);
    QFETCH(QString, named);
    auto stored = [](const QVariant &value) {
        return value.typeId() == QMetaType::Nullptr ? std::nullopt : std::optional<QVariant>(value);
    };
    const BandLimits band = BandLimits::fromStored(stored(up), stored(down), misspelt);
    QCOMPARE(band.usable(), usable);
    if (!usable) {
        for (const qint64 kHz : {0, 87500, 107900, 150000, 1000000})
            QVERIFY(!band.accepts(kHz));
        QVERIFY(band.refusal().contains(QLatin1String("UNUSABLE")));
        QVERIFY2(band.refusal().contains(named), qPrintable(band.refusal()));
        return;
    }
    QVERIFY(band.accepts(lowestAccepted));
    QVERIFY(band.accepts(highestAccepted));
    QVERIFY(!band.accepts(lowestAccepted - 1));
    QVERIFY(!band.accepts(highestAccepted + 1));
}

QTEST_GUILESS_MAIN(DecodingTest)
#include "tst_decoding.moc"
