// Process-wide settings of the management engine library (password, client cap, data folder).
#pragma once

#include <QByteArray>
#include <QString>

namespace lumos {
namespace State {

QByteArray Password();  // guarded inside (any thread)
void SetPassword(const QByteArray& password);
int MaxClients();
void SetManyDevices(bool many);
QString DataFolder();
void SetDataFolder(const QString& folder);

}  // namespace State
}  // namespace lumos
