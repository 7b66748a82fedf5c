// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

// A bevelled 3-D frame that holds other controls.
class Panel3D : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption NOTIFY captionChanged)
public:
    enum class Bevel
    {
        None,
        Raised,
        Inset
    };

    Panel3D(Bevel outer, int bevelWidth, int borderWidth, QWidget *parent = nullptr,
            Bevel inner = Bevel::None);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);

Q_SIGNALS:
    void captionChanged(const QString &caption);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Bevel m_outer;
    Bevel m_inner;
    int m_bevelWidth;
    int m_borderWidth;
    QString m_caption;
};
