// Process-wide settings of the management engine library (password, client cap, data folder).
#pragma once

#include <QByteArray>
#include <QString>

#include "LumoSServer/LumoSServer.h"

class QHostAddress;

namespace lumos {
namespace State {

// The password clients log in with; *usable false while logins are refused (a stored password
// that could not be read). Guarded inside (any thread), like every call here.
QByteArray Password(bool* usable);
void SetPassword(const QByteArray& password);
void RefusePasswordLogins();
LumoSLimits Limits();
void SetLimits(const LumoSLimits& limits);
bool PeerIsLocal(const QHostAddress& peer);
void SetLocalPeerCheck(bool (*isLocal)(const char* ip));
int MaxClients();
void SetManyDevices(bool many);
QString DataFolder();
void SetDataFolder(const QString& folder);

}  // namespace State
}  // namespace lumos
