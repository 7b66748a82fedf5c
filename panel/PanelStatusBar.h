// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

// The window's status bar panels by their position.
enum class StatusPanel
{
    Connection = 1,    // key "Status": the picture of the line's state
    Settings = 2,      // key "Settings": the line's settings
    Port = 3,          // the serial port in use
    Firmware = 4,      // key "Firmware": the transmitter's firmware version
    ConnectionTime = 5 // how long the connection in progress has lasted
};

// The window's five-panel status bar. Panels are addressed by position 1..5,
// some also by key. Each has a text and an optional picture; panels either fit
// their contents (with a minimum width), keep a fixed width, or take what is left.
// A panel that shows a value writes it after its prefix.
class PanelStatusBar : public QWidget
{
    Q_OBJECT
public:
    enum class Sizing
    {
        Contents,
        Spring,
        Fixed
    };
    struct PanelDesign
    {
        QString key;
        QString text;   // until a value is shown; the prefix alone when empty
        QString prefix; // before each value
        QString toolTip;
        int width = 0;    // pixels
        int minWidth = 0; // pixels
        Sizing sizing = Sizing::Fixed;
    };
    static constexpr int PanelCount = 5;

    explicit PanelStatusBar(const std::array<PanelDesign, PanelCount> &design,
                            QWidget *parent = nullptr);

    Q_INVOKABLE QString panelText(int index) const;
    Q_INVOKABLE QImage panelPicture(int index) const;
    Q_INVOKABLE QString panelKey(int index) const;
    Q_INVOKABLE QString panelToolTip(int index) const;
    // The panel's rectangle within the bar, for layout checks and tool tips.
    Q_INVOKABLE QRect panelRect(int index) const;
    // Position 1..5 of the panel with that key, 0 when there is none.
    int indexOfKey(const QString &key) const;

    void setPanelText(int index, const QString &text);
    void setPanelText(const QString &key, const QString &text);
    void setPanelPicture(int index, const QImage &picture);
    void setPanelPicture(StatusPanel panel, const QImage &picture)
    {
        setPanelPicture(int(panel), picture);
    }
    // The panel's prefix followed by the value, as its text.
    void setPanelValue(StatusPanel panel, const QString &value);

Q_SIGNALS:
    void panelChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Panel
    {
        PanelDesign design;
        QImage picture;
        QRect rect;
    };
    bool validIndex(int index) const { return index >= 1 && index <= PanelCount; }
    // Lays the panels out again and paints what the change touched.
    void repaintChanged(const Panel &changed);
    void relayout();

    std::array<Panel, PanelCount> m_panels;
};
