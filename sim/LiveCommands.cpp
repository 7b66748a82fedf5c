// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/LiveCommands.h"

#include "sim/TxSimulator.h"

#include <QStringList>

namespace {

enum class Argument
{
    None,
    OnOff,
    Number,
    Text
};

struct Value
{
    bool on = false;
    int number = 0;
    QString text;
};

// What a command did beyond its OK line.
struct Effect
{
    QString printedFirst; // whole lines, each ending in a newline
    QString detail;       // after "OK <command>" on its line
    bool quit = false;
};

// Returns why the command could not be carried out; empty when it was.
using Action = QString (*)(TxSimulator &sim, const Value &value, Effect &effect);

struct Command
{
    const char *name;
    Argument argument;
    int max; // a number runs from 0 to this
    const char *form;
    const char *effect;
    Action action;
};

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString status(const TxSimulator &sim)
{
    const QStringList parts = {
        sim.isPlugged() ? QStringLiteral("plugged ") + sim.devicePath()
                        : QStringLiteral("unplugged"),
        sim.isAnswering() ? QStringLiteral("answering") : QStringLiteral("silent"),
        QStringLiteral("lock ") + onOff(sim.isLocked()),
        QStringLiteral("rf ") + onOff(sim.onAir()),
        QStringLiteral("frequency ") + QString::number(sim.frequencyKHz()),
        QStringLiteral("temperature ") + QString::number(sim.temperature()) +
            (sim.temperatureDrifts() ? QStringLiteral(" drifting") : QStringLiteral(" fixed")),
        QStringLiteral("forward ") + sim.forwardPower(),
        QStringLiteral("reflected ") + sim.reflectedPower(),
        QStringLiteral("firmware ") + sim.firmware(),
        QStringLiteral("delay ") + QString::number(sim.replyDelayMs()),
        QStringLiteral("wrong-echo ") + onOff(sim.wrongEcho()),
        QStringLiteral("noise ") + QString::number(sim.noiseBytes()),
        QStringLiteral("exchanges ") + QString::number(sim.exchanges()),
    };
    return parts.join(QStringLiteral(", "));
}

// The bounds keep every reply in the width the transmitter's own has (three
// digits of temperature, six of frequency) and the waits below the panel's.
const Command commands[] = {
    {"lock", Argument::OnOff, 0, "on|off", "synthesiser locked, or unlocked (LOCK dark)",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setLocked(value.on);
         return QString();
     }},
    {"temperature", Argument::Number, 999, "N",
     "fixed raw temperature, 0 to 999 (above 175: ALARM TEMP)",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setTemperature(value.number);
         return QString();
     }},
    {"drift", Argument::OnOff, 0, "on|off", "temperature wanders from 140 to 160, or stays",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setTemperatureDrift(value.on);
         return QString();
     }},
    {"forward", Argument::Text, 0, "TEXT", "forward power read-out",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setForwardPower(value.text);
         return QString();
     }},
    {"reflected", Argument::Text, 0, "TEXT", "reflected power read-out",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setReflectedPower(value.text);
         return QString();
     }},
    {"rf", Argument::OnOff, 0, "on|off", "RF on or off the air",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setOnAir(value.on);
         return QString();
     }},
    {"frequency", Argument::Number, 999999, "KHZ", "carrier frequency in kHz, 0 to 999999",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setFrequencyKHz(value.number);
         return QString();
     }},
    {"firmware", Argument::Text, 0, "TEXT", "firmware text, asked once a connection",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setFirmware(value.text);
         return QString();
     }},
    {"silent", Argument::None, 0, "", "stop answering",
     [](TxSimulator &sim, const Value &, Effect &) {
         sim.setSilent(true);
         return QString();
     }},
    {"answer", Argument::None, 0, "", "answer again (also after --silent-after)",
     [](TxSimulator &sim, const Value &, Effect &) {
         sim.setSilent(false);
         return QString();
     }},
    {"delay", Argument::Number, 60000, "MS", "wait MS ms before each reply, 0 to 60000",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setReplyDelayMs(value.number);
         return QString();
     }},
    {"wrong-echo", Argument::OnOff, 0, "on|off", "echo a programmed digit wrong, or right",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setWrongEcho(value.on);
         return QString();
     }},
    {"noise", Argument::Number, 10000, "N", "N random bytes before each reply, 0 to 10000",
     [](TxSimulator &sim, const Value &value, Effect &) {
         sim.setNoiseBytes(value.number);
         return QString();
     }},
    {"unplug", Argument::None, 0, "", "pull the line: the pseudo-terminal closes",
     [](TxSimulator &sim, const Value &, Effect &) -> QString {
         if (!sim.isPlugged())
             return QStringLiteral("the line is already unplugged");
         sim.unplug();
         return QString();
     }},
    {"plug", Argument::None, 0, "", "plug in again on a new pseudo-terminal: prints DEVICE",
     [](TxSimulator &sim, const Value &, Effect &effect) -> QString {
         if (sim.isPlugged())
             return QStringLiteral("the line is already plugged in, on ") + sim.devicePath();
         if (!sim.start())
             return sim.lastError();
         effect.printedFirst = QStringLiteral("DEVICE ") + sim.devicePath() + QLatin1Char('\n');
         return QString();
     }},
    {"status", Argument::None, 0, "", "the whole state on one line",
     [](TxSimulator &sim, const Value &, Effect &effect) {
         effect.detail = status(sim);
         return QString();
     }},
    {"help", Argument::None, 0, "", "this list",
     [](TxSimulator &, const Value &, Effect &effect) {
         effect.printedFirst = LiveCommands::help() + QLatin1Char('\n');
         return QString();
     }},
    {"quit", Argument::None, 0, "", "end the simulator",
     [](TxSimulator &, const Value &, Effect &effect) {
         effect.quit = true;
         return QString();
     }},
};

// Echoes what was typed inside an error line without letting it break the line.
QString shown(const QString &typed)
{
    constexpr qsizetype Longest = 40;
    QString text = typed.left(Longest);
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    if (typed.size() > Longest)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isPrintableLatin1(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u > 0xff)
            return false;
    }
    return true;
}

// Digits only: no sign, no blanks, no base prefix, nothing toInt() would let by.
bool parseNumber(const QString &text, int max, int *number)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *number = text.toInt();
    return *number <= max;
}

// Fills value from the argument's text; returns why it does not fit, or empty.
QString parseArgument(const Command &command, const QString &text, Value &value)
{
    const QString form = QLatin1String(command.form);
    switch (command.argument) {
    case Argument::None:
        return text.isEmpty() ? QString() : QStringLiteral("takes no argument, got ") + shown(text);
    case Argument::OnOff:
        if (text.isEmpty())
            return QStringLiteral("missing on or off");
        if (text.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
            value.on = true;
        else if (text.compare(QLatin1String("off"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("expected on or off, got ") + shown(text);
        value.text = onOff(value.on);
        return QString();
    case Argument::Number: {
        const QString range =
            QStringLiteral("a whole number from 0 to ") + QString::number(command.max);
        if (text.isEmpty())
            return QStringLiteral("missing ") + form + QStringLiteral(", ") + range;
        if (!parseNumber(text, command.max, &value.number))
            return form + QStringLiteral(" must be ") + range + QStringLiteral(", got ") +
                   shown(text);
        value.text = QString::number(value.number);
        return QString();
    }
    case Argument::Text:
        if (text.isEmpty())
            return QStringLiteral("missing TEXT");
        if (!isPrintableLatin1(text))
            return QStringLiteral("TEXT must be printable Latin-1 characters, got ") + shown(text);
        value.text = text;
        return QString();
    }
    return QString();
}

} // namespace

namespace LiveCommands {

Reply apply(const QString &line, TxSimulator &sim)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return {};
    qsizetype wordEnd = 0;
    while (wordEnd < trimmed.size() && !trimmed.at(wordEnd).isSpace())
        ++wordEnd;
    const QString word = trimmed.left(wordEnd);
    const QString argument = trimmed.mid(wordEnd).trimmed();

    for (const Command &command : commands) {
        const QString name = QLatin1String(command.name);
        if (word.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        Value value;
        QString error = parseArgument(command, argument, value);
        Effect effect;
        if (error.isEmpty())
            error = command.action(sim, value, effect);
        if (!error.isEmpty())
            return {QStringLiteral("ERROR ") + name + QStringLiteral(": ") + error, false};
        QString ok = effect.printedFirst + QStringLiteral("OK ") + name;
        if (!value.text.isEmpty())
            ok += QLatin1Char(' ') + value.text;
        if (!effect.detail.isEmpty())
            ok += QLatin1Char(' ') + effect.detail;
        return {ok, effect.quit};
    }
    return {QStringLiteral("ERROR unknown command ") + shown(word) +
                QStringLiteral(" (help lists the commands)"),
            false};
}

QString help()
{
    const auto formOf = [](const Command &command) {
        QString form = QLatin1String(command.name);
        if (command.argument != Argument::None)
            form += QLatin1Char(' ') + QLatin1String(command.form);
        return form;
    };
    qsizetype width = 0;
    for (const Command &command : commands)
        width = qMax(width, formOf(command).size());
    QStringList lines;
    for (const Command &command : commands)
        lines.append(QStringLiteral("  ") + formOf(command).leftJustified(width) +
                     QStringLiteral("  ") + QLatin1String(command.effect));
    return lines.join(QLatin1Char('\n'));
}

} // namespace LiveCommands
