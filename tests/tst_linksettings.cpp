// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The line's settings read from their text, and written back as text.
#include "link/LineSettings.h"

#include <QtTest>

class LinkSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void defaultText();
};

void LinkSettingsTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("shown");
    const auto good = [](const char *name, const char *text, int baud, QSerialPort::Parity parity,
                         int dataBits, QSerialPort::StopBits stopBits, const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(text) << true << baud << int(parity) << dataBits
                            << int(stopBits) << QString::fromLatin1(shown);
    };
    const auto bad = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(text) << false << 0 << 0 << 0 << 0 << QString();
    };
    good("usual", "4800,N,8,1", 4800, QSerialPort::NoParity, 8, QSerialPort::OneStop, "4800,N,8,1");
    good("even, seven bits, two stop", "9600,E,7,2", 9600, QSerialPort::EvenParity, 7,
         QSerialPort::TwoStop, "9600,E,7,2");
    good("odd, one and a half stop", "1200,O,8,1.5", 1200, QSerialPort::OddParity, 8,
         QSerialPort::OneAndHalfStop, "1200,O,8,1.5");
    good("lower-case odd", "1200,o,8,1.5", 1200, QSerialPort::OddParity, 8,
         QSerialPort::OneAndHalfStop, "1200,O,8,1.5");
    good("lower-case none", "4800,n,8,1", 4800, QSerialPort::NoParity, 8, QSerialPort::OneStop,
         "4800,N,8,1");
    good("mark, five bits", "2400,m,5,1", 2400, QSerialPort::MarkParity, 5, QSerialPort::OneStop,
         "2400,M,5,1");
    good("space, six bits", "19200,S,6,2", 19200, QSerialPort::SpaceParity, 6, QSerialPort::TwoStop,
         "19200,S,6,2");
    good("fast", "115200,N,8,1", 115200, QSerialPort::NoParity, 8, QSerialPort::OneStop,
         "115200,N,8,1");
    good("blanks around fields", " 4800 , e , 7 , 1 ", 4800, QSerialPort::EvenParity, 7,
         QSerialPort::OneStop, "4800,E,7,1");
    good("tab and line end around", "\t300,N,8,2\r\n", 300, QSerialPort::NoParity, 8,
         QSerialPort::TwoStop, "300,N,8,2");

    bad("empty", "");
    bad("blanks only", "   ");
    bad("one field", "4800");
    bad("three fields", "4800,N,8");
    bad("five fields", "4800,N,8,1,1");
    bad("trailing comma", "4800,N,8,1,");
    bad("semicolons", "4800;N;8;1");
    bad("blanks for commas", "4800 N 8 1");
    bad("baud missing", ",N,8,1");
    bad("baud zero", "0,N,8,1");
    bad("baud negative", "-4800,N,8,1");
    bad("baud in words", "fast,N,8,1");
    bad("baud with a point", "4800.0,N,8,1");
    bad("baud beyond a number", "99999999999,N,8,1");
    bad("parity missing", "4800,,8,1");
    bad("parity unknown", "4800,X,8,1");
    bad("parity two letters", "4800,NO,8,1");
    bad("four data bits", "4800,N,4,1");
    bad("nine data bits", "4800,N,9,1");
    bad("data bits in words", "4800,N,eight,1");
    bad("data bits missing", "4800,N,,1");
    bad("stop bits zero", "4800,N,8,0");
    bad("three stop bits", "4800,N,8,3");
    bad("stop bits 1.0", "4800,N,8,1.0");
    bad("stop bits missing", "4800,N,8,");
}

void LinkSettingsTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    const std::optional<LineSettings> settings = LineSettings::parse(text);
    QCOMPARE(settings.has_value(), accepted);
    if (!settings)
        return;
    QTEST(int(settings->baud), "baud");
    QTEST(int(settings->parity), "parity");
    QTEST(int(settings->dataBits), "dataBits");
    QTEST(int(settings->stopBits), "stopBits");
    QTEST(settings->text(), "shown");
    // What is shown reads back as the same settings.
    QCOMPARE(LineSettings::parse(settings->text())->text(), settings->text());
}

void LinkSettingsTest::defaultText()
{
    QCOMPARE(LineSettings().text(), QStringLiteral("4800,N,8,1"));
}

QTEST_MAIN(LinkSettingsTest)
#include "tst_linksettings.moc"
