// SPDX-FileCopyrightText: 2026 The txpanel developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/RemoteCommand.h"

#include <QJsonObject>

QJsonValue RemoteCommand::json(const std::optional<RemoteCommand> &command)
{
    if (!command)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{
        {QStringLiteral("when"), command->when.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("who"), command->who},
        {QStringLiteral("way"), command->way},
        {QStringLiteral("command"), command->command},
        {QStringLiteral("outcome"), command->outcome},
    };
}
