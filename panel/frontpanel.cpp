// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Builds the front panel's controls in their design state.
#include "app/frmTerminale.h"

#include "link/LinkEngine.h"
#include "panel/Key3D.h"
#include "panel/LedBar.h"
#include "panel/LedDigit.h"
#include "panel/LedLamp.h"
#include "panel/LineWidget.h"
#include "panel/Panel3D.h"
#include "panel/PanelColors.h"
#include "panel/PanelStatusBar.h"
#include "panel/PanelTimer.h"
#include "panel/Pictures.h"
#include "panel/ReadoutLabel.h"
#include "panel/RibbonSwitch.h"
#include "panel/ShapeWidget.h"
#include "panel/Twips.h"

#include <QAction>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>

namespace {
constexpr int NoBorder = -1;
constexpr int Transparent = -1;

// Sets a control's geometry from a layout in twips.
template <typename Control>
Control *placeTwips(Control *control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::toPixels(left, top, width, height));
    return control;
}

template <typename Control> Control *named(Control *control, const QString &name)
{
    control->setObjectName(name);
    return control;
}

QString arrayName(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// The design's font families mapped onto the fonts a Linux desktop has.
QFont panelFont(const QString &family, qreal pointSize, bool bold)
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QStringLiteral("Times New Roman"),
            {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
        const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
        QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
        QFont::insertSubstitutions(
            QStringLiteral("Small Fonts"),
            {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

constexpr QLatin1String TimesNewRoman("Times New Roman");
constexpr QLatin1String Arial("Arial");
constexpr QLatin1String MsSansSerif("MS Sans Serif");
constexpr QLatin1String SmallFonts("Small Fonts");

struct LabelLook
{
    int backColor = Transparent;
    QFont font;
    bool boxed = false;
    bool centred = false;
    int foreColor = PanelColor::Black;
};

ReadoutLabel *makeLabel(const QString &name, const QString &caption, const LabelLook &look,
                        QWidget *parent)
{
    auto *label = named(new ReadoutLabel(caption, look.backColor, parent), name);
    label->setFont(look.font);
    label->setForeColor(look.foreColor);
    if (look.boxed)
        label->setFrameShape(QFrame::Box);
    label->setAlignment(look.centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton *makeButton(const QString &name, const QString &caption, const QFont &font,
                        bool enabled, QWidget *parent)
{
    auto *button = named(new QPushButton(caption, parent), name);
    button->setFont(font);
    button->setEnabled(enabled);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QLabel *makePicture(const QString &name, const QImage &picture, QWidget *parent)
{
    auto *label = named(new QLabel(parent), name);
    label->setPixmap(QPixmap::fromImage(picture));
    label->setScaledContents(true);
    return label;
}

LineWidget *makeLine(const QString &name, int x1, int y1, int x2, int y2, int colorValue,
                     QWidget *parent)
{
    const QLine line(Twips::toPixels(x1), Twips::toPixels(y1), Twips::toPixels(x2),
                     Twips::toPixels(y2));
    return named(new LineWidget(line, 4, colorValue, parent), name);
}
} // namespace

void frmTerminale::buildFrontPanel()
{
    setWindowTitle(QStringLiteral("ORVEL   BROADCAST "));
    setWindowIcon(QIcon(QPixmap::fromImage(windowIconPicture())));

    window = named(new QWidget(this), QStringLiteral("window"));
    window->setFixedSize(758, 490);
    window->setAutoFillBackground(true);
    QPalette navy = window->palette();
    navy.setColor(QPalette::Window, PanelColor::toQColor(PanelColor::Navy));
    window->setPalette(navy);
    setCentralWidget(window);

    mnuFile = named(menuBar()->addMenu(QStringLiteral("&File")), QStringLiteral("mnuFile"));
    mnuFilePort =
        named(mnuFile->addAction(QStringLiteral("Setting &Port")), QStringLiteral("mnuFilePort"));
    mnuFileExit = named(mnuFile->addAction(QStringLiteral("&Exit")), QStringLiteral("mnuFileExit"));

    timer1 = new PanelTimer(QStringLiteral("timer1"), 1000, this);
    // The reply supervision and the resume timer are the link engine's own.
    tmrTimeOutComm = &engine().supervisionTimer();
    tmrTimeOutComm->setObjectName(QStringLiteral("tmrTimeOutComm"));
    tmrTimeOut = new PanelTimer(QStringLiteral("tmrTimeOut"), 500, this);
    tmrPausa = new PanelTimer(QStringLiteral("tmrPausa"), 10000, this);
    tmrPausaLabel = new PanelTimer(QStringLiteral("tmrPausaLabel"), 5000, this);
    tmrNotProgrammed = new PanelTimer(QStringLiteral("tmrNotProgrammed"), 5000, this);
    tmrResume = &engine().resumeTimer();
    tmrResume->setObjectName(QStringLiteral("tmrResume"));
    tmrTimeOut->setEnabled(true);

    const QFont smallBold = panelFont(SmallFonts, 6.75, true);
    const QFont sansBold = panelFont(MsSansSerif, 8.25, true);
    const QFont readoutFont = panelFont(TimesNewRoman, 16.5, true);
    const QFont wattFont = panelFont(Arial, 9.75, true);
    const LabelLook caption{Transparent, smallBold};
    const LabelLook readout{PanelColor::Olive, readoutFont, true, true};
    const LabelLook watt{Transparent, wattFont};

    // Shapes first, so every control over them is drawn in front.
    Image2 = placeTwips(makePicture(QStringLiteral("Image2"), hiddenPicture(), window), 600, 1800,
                        3585, 1680);
    Shape1 = placeTwips(
        named(new ShapeWidget(PanelColor::LightGrey, NoBorder, window), QStringLiteral("Shape1")),
        4230, 165, 6945, 900);
    Shape2 = placeTwips(
        named(new ShapeWidget(PanelColor::LightGrey, NoBorder, window), QStringLiteral("Shape2")),
        9960, 360, 1212, 4488);
    Shape6 = placeTwips(
        named(new ShapeWidget(PanelColor::LightGrey, NoBorder, window), QStringLiteral("Shape6")),
        9480, 1968, 732, 2880);
    Shape3 = placeTwips(named(new ShapeWidget(PanelColor::ButtonGrey, PanelColor::Black, window),
                              QStringLiteral("Shape3")),
                        9480, 5100, 1692, 1704);

    // The banner.
    SSPanel4 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 8, 8, window), QStringLiteral("SSPanel4")), 360,
        120, 3600, 1710);
    Image1 = placeTwips(makePicture(QStringLiteral("Image1"), logoPicture(), SSPanel4), 150, 135,
                        3300, 1425);

    // Temperature, lock and on-air lamps.
    SSPanel1 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 5, 5, window), QStringLiteral("SSPanel1")), 4320,
        276, 3024, 684);
    lblTemp = placeTwips(
        makeLabel(QStringLiteral("lblTemp"), QString(),
                  {PanelColor::Olive, panelFont(TimesNewRoman, 12, true), true, true}, SSPanel1),
        168, 168, 1032, 348);
    Label7 = placeTwips(
        makeLabel(QStringLiteral("Label7"), QStringLiteral("°C  TEMPERATURE"), caption, SSPanel1),
        1320, 264, 1488, 156);
    ledTemp = placeTwips(named(new LedLamp(PanelColor::DarkRed, window), QStringLiteral("ledTemp")),
                         7620, 300, 732, 384);
    Label1 = placeTwips(
        makeLabel(QStringLiteral("Label1"), QStringLiteral("ALARM TEMP"), caption, window), 7548,
        804, 1140, 168);
    ledLock = placeTwips(named(new LedLamp(PanelColor::DarkRed, window), QStringLiteral("ledLock")),
                         8976, 288, 516, 396);
    Label8 = placeTwips(makeLabel(QStringLiteral("Label8"), QStringLiteral("LOCK"),
                                  {Transparent, sansBold}, window),
                        8976, 768, 540, 204);
    ledRfInhibit = placeTwips(
        named(new LedLamp(PanelColor::DarkYellow, window), QStringLiteral("ledRfInhibit")), 10224,
        288, 504, 372);
    ledTemp->setMeanings(QStringLiteral("ALARM TEMP"),
                         {{PanelColor::DarkRed, QStringLiteral("no alarm")},
                          {PanelColor::BrightRed, QStringLiteral("alarm")}});
    ledLock->setMeanings(QStringLiteral("LOCK"),
                         {{PanelColor::DarkRed, QStringLiteral("not locked")},
                          {PanelColor::BrightRed, QStringLiteral("locked")}});
    ledRfInhibit->setMeanings(QStringLiteral("ON THE AIR"),
                              {{PanelColor::DarkYellow, QStringLiteral("off the air")},
                               {PanelColor::Yellow, QStringLiteral("on the air")}});
    Label9 = placeTwips(makeLabel(QStringLiteral("Label9"), QStringLiteral("ON THE AIR"),
                                  {Transparent, sansBold}, window),
                        9984, 768, 1164, 204);

    // The communications read-out.
    SSPanel2 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 1, 3, window), QStringLiteral("SSPanel2")), 4200,
        1200, 5655, 615);
    SSPanel2->setCaption(QStringLiteral("SSPanel2"));
    lblCommunications.append(placeTwips(
        makeLabel(arrayName("lblCommunications", 0), QString(),
                  {PanelColor::Olive, panelFont(MsSansSerif, 12, true), true, true}, SSPanel2),
        120, 120, 5385, 375));

    // The tuning panel.
    SSPanel3 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 1, 3, window), QStringLiteral("SSPanel3")), 360,
        1920, 9060, 4950);
    Line3 = makeLine(QStringLiteral("Line3"), 285, 1530, 705, 1530, PanelColor::InactiveTitleGrey,
                     SSPanel3);
    Line4 = makeLine(QStringLiteral("Line4"), 705, 1530, 705, 4410, PanelColor::InactiveTitleGrey,
                     SSPanel3);
    Line6 = makeLine(QStringLiteral("Line6"), 3108, 1548, 3108, 4428, PanelColor::InactiveTitleGrey,
                     SSPanel3);
    Line5 = makeLine(QStringLiteral("Line5"), 3090, 1515, 3495, 1515, PanelColor::InactiveTitleGrey,
                     SSPanel3);
    Line2 = makeLine(QStringLiteral("Line2"), 4032, 1536, 8760, 1536, PanelColor::Grey, SSPanel3);

    SSPanel7 =
        placeTwips(named(new Panel3D(Panel3D::Bevel::Raised, 3, 8, SSPanel3, Panel3D::Bevel::Inset),
                         QStringLiteral("SSPanel7")),
                   225, 180, 3330, 1050);
    Shape9 = placeTwips(named(new ShapeWidget(PanelColor::Black, PanelColor::Black, SSPanel7),
                              QStringLiteral("Shape9")),
                        156, 144, 2988, 744);
    const int digitLefts[6] = {288, 648, 990, 1440, 1812, 2172};
    for (int i = 1; i <= 6; ++i) {
        auto *digit = named(new LedDigit(SSPanel7), arrayName("ledDigit", i));
        digit->setForeColor(PanelColor::DarkRed);
        ledDigit.append(placeTwips(digit, digitLefts[i - 1], 180, 348, 672));
    }
    // A screen reader reads the display as one frequency, "107.900 MHz".
    auto describeFrequency = [this] {
        QString text;
        for (int i = 1; i <= 6; ++i) {
            text += QString::number(ledDigit(i)->DigitValue());
            if (i == 3)
                text += QLatin1Char('.');
        }
        SSPanel7->setAccessibleName(text + QStringLiteral(" MHz"));
    };
    for (int i = 1; i <= 6; ++i)
        connect(ledDigit(i), &LedDigit::DigitValueChanged, this, describeFrequency);
    describeFrequency();
    shpPunto = placeTwips(
        named(new ShapeWidget(PanelColor::DarkRed, NoBorder, SSPanel7), QStringLiteral("shpPunto")),
        1350, 720, 75, 75);
    Label5 = placeTwips(makeLabel(QStringLiteral("Label5"), QStringLiteral("MHz"),
                                  {Transparent, panelFont(TimesNewRoman, 12, true), false, false,
                                   PanelColor::White},
                                  SSPanel7),
                        2556, 360, 516, 288);

    SSPanel5 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 5, 5, SSPanel3), QStringLiteral("SSPanel5")),
        3960, 240, 2145, 930);
    lblDirDigital.append(
        placeTwips(makeLabel(arrayName("lblDirDigital", 0), QString(), readout, SSPanel5), 165, 165,
                   1395, 420));
    Label11 = placeTwips(makeLabel(QStringLiteral("Label11"), QStringLiteral("W"), watt, SSPanel5),
                         1680, 348, 252, 216);
    Label4 = placeTwips(
        makeLabel(QStringLiteral("Label4"), QStringLiteral("RF - FORWARD"), caption, SSPanel5), 120,
        600, 1440, 165);

    SSPanel6 = placeTwips(
        named(new Panel3D(Panel3D::Bevel::Raised, 5, 5, SSPanel3), QStringLiteral("SSPanel6")),
        6480, 240, 2145, 930);
    lblRefDigital.append(
        placeTwips(makeLabel(arrayName("lblRefDigital", 0), QString(), readout, SSPanel6), 180, 180,
                   1395, 405));
    Label12 = placeTwips(makeLabel(QStringLiteral("Label12"), QStringLiteral("W"), watt, SSPanel6),
                         1716, 336, 288, 276);
    Label6 = placeTwips(
        makeLabel(QStringLiteral("Label6"), QStringLiteral("RF - REFLECTED"), caption, SSPanel6),
        204, 648, 1644, 168);

    struct KeyDesign
    {
        const char *caption;
        int left;
        int top;
    };
    const KeyDesign keys[12] = {{"1", 972, 1656}, {"2", 1635, 1665}, {"3", 2295, 1665},
                                {"4", 975, 2325}, {"5", 1635, 2325}, {"6", 2295, 2325},
                                {"7", 975, 2985}, {"8", 1635, 2985}, {"9", 2304, 2988},
                                {"<", 975, 3645}, {"0", 1644, 3648}, {"OK", 2310, 3645}};
    const QFont keyFont = panelFont(MsSansSerif, 12, true);
    for (int i = 0; i < 12; ++i) {
        const int side = (i == 0 || i == 8 || i == 10) ? 516 : 510;
        auto *key =
            named(new Key3D(i, QLatin1String(keys[i].caption), SSPanel3), arrayName("cmdKey", i));
        key->setFont(keyFont);
        cmdKey.append(placeTwips(key, keys[i].left, keys[i].top, side, side));
    }
    Label3 = placeTwips(
        makeLabel(QStringLiteral("Label3"), QStringLiteral("SETTING FREQUENCY"),
                  {PanelColor::LightGrey, sansBold, false, true, PanelColor::ActiveTitleNavy},
                  SSPanel3),
        885, 4305, 2055, 255);

    LedBar::Zones zones;
    zones.firstLimit = 6;
    zones.secondLimit = 8;
    ledDeviation =
        placeTwips(named(new LedBar(10, zones, SSPanel3), QStringLiteral("ledDeviation")), 4440,
                   3600, 3330, 780);
    ledDeviation->setValue(0);

    // The right-hand column.
    cmdSend = placeTwips(
        makeButton(QStringLiteral("cmdSend"), QStringLiteral("  SEND  "), smallBold, true, window),
        9696, 2256, 1200, 432);
    cmdSetFrequency =
        placeTwips(makeButton(QStringLiteral("cmdSetFrequency"), QStringLiteral("SET FREQUENCY"),
                              smallBold, true, window),
                   9696, 2880, 1212, 444);
    cmdDisconnect =
        placeTwips(makeButton(QStringLiteral("cmdDisconnect"), QStringLiteral("DISCONNECT"),
                              panelFont(SmallFonts, 6, true), false, window),
                   9648, 3504, 1272, 480);
    ssRfSwitch =
        placeTwips(named(new RibbonSwitch(ribbonReleasedPicture(), ribbonPressedPicture(), window),
                         QStringLiteral("ssRfSwitch")),
                   9648, 4128, 1308, 492);
    ssRfSwitch->setPressed(false);
    ssRfSwitch->setMeanings(QStringLiteral("RF INHIBIT"), QStringLiteral("released"),
                            QStringLiteral("pressed"));
    const QFont powerFont = panelFont(MsSansSerif, 9.75, true);
    cmdPower = placeTwips(
        makeButton(QStringLiteral("cmdPower"), QStringLiteral("ON"), powerFont, true, window), 9705,
        5424, 1212, 732);
    Label2 = placeTwips(makeLabel(QStringLiteral("Label2"), QStringLiteral("POWER"),
                                  {Transparent, powerFont}, window),
                        9840, 6384, 852, 252);

    // The status bar.
    using Sizing = PanelStatusBar::Sizing;
    const std::array<PanelStatusBar::PanelDesign, PanelStatusBar::PanelCount> panels = {{
        {QStringLiteral("Status"), QStringLiteral("Status:"), QString(),
         QStringLiteral("Communications Port Status"), Twips::toPixels(1245), Twips::toPixels(800),
         Sizing::Contents},
        {QStringLiteral("Settings"), QStringLiteral("Settings:"), QStringLiteral("Settings: "),
         QStringLiteral("Communications Port Settings"), Twips::toPixels(3000), 0, Sizing::Spring},
        {QString(), QString(), QStringLiteral("Com: "), QString(), Twips::toPixels(1440), 0,
         Sizing::Fixed},
        {QStringLiteral("Firmware"), QStringLiteral("Firmware:"), QStringLiteral("Firmware: "),
         QStringLiteral("Firmware Version"), Twips::toPixels(2010), Twips::toPixels(2000),
         Sizing::Contents},
        {QString(), QStringLiteral("Time of Connection:"), QStringLiteral("Time of Connection: "),
         QString(), Twips::toPixels(3500), 0, Sizing::Fixed},
    }};
    sbrStatus = named(new PanelStatusBar(panels, window), QStringLiteral("sbrStatus"));
    sbrStatus->setFont(sansBold);
    sbrStatus->setPanelPicture(StatusPanel::Connection, statusIconPicture());
    placeTwips(sbrStatus, 0, 6990, 11370, 360);

    // The read-outs speak their text as it stands; what they measure is said
    // by a caption beside them that a screen reader does not tie to them.
    lblTemp->setAccessibleDescription(QStringLiteral("TEMPERATURE in degrees Celsius"));
    lblDirDigital(0)->setAccessibleDescription(QStringLiteral("RF - FORWARD power in watts"));
    lblRefDigital(0)->setAccessibleDescription(QStringLiteral("RF - REFLECTED power in watts"));
    lblCommunications(0)->setAccessibleDescription(QStringLiteral("communications"));

    setFixedSize(sizeHint());
}
