// The engine's own key and self-signed certificate: made with OpenSSL on first use and kept in the
// engine's data folder.
#pragma once

#include <QByteArray>
#include <QString>

namespace lumos {

struct KeyPair {
    QByteArray keyPem;   // PKCS#8 private key
    QByteArray certPem;  // X.509 certificate
};

// Loads "<folder>/lumos_key.pem" and "<folder>/lumos_cert.pem"; when either is missing or does not
// parse, makes a new pair (EC P-256, valid 10 years, CN "VantelServer", SAN localhost and
// 127.0.0.1) and writes both (key file 0600). False with *error when nothing usable can be had.
bool LoadOrCreateKeyPair(const QString& folder, KeyPair* out, QString* error);

// The XML document that carries the certificate to clients.
QByteArray CertificateXml(const QByteArray& certPem);

}  // namespace lumos
