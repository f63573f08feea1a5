#include "certificate.h"

#include "LumoBase/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamWriter>
#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace lumos {
namespace {

using PKeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, decltype(&X509_EXTENSION_free)>;

const char kKeyFile[] = "lumos_key.pem";
const char kCertFile[] = "lumos_cert.pem";

QByteArray BioText(BIO* bio) {
    char* data = nullptr;
    long len = BIO_get_mem_data(bio, &data);
    return len > 0 ? QByteArray(data, static_cast<int>(len)) : QByteArray();
}

bool PairParses(const QByteArray& keyPem, const QByteArray& certPem) {
    BioPtr kb(BIO_new_mem_buf(keyPem.constData(), keyPem.size()), &BIO_free);
    BioPtr cb(BIO_new_mem_buf(certPem.constData(), certPem.size()), &BIO_free);
    if (!kb || !cb) return false;
    PKeyPtr key(PEM_read_bio_PrivateKey(kb.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    X509Ptr cert(PEM_read_bio_X509(cb.get(), nullptr, nullptr, nullptr), &X509_free);
    return key && cert && X509_check_private_key(cert.get(), key.get()) == 1;
}

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value), &X509_EXTENSION_free);
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

bool MakePair(KeyPair* out, QString* error) {
    PKeyPtr key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    X509Ptr cert(X509_new(), &X509_free);
    if (!key || !cert) {
        *error = QStringLiteral("cannot make a key");
        return false;
    }
    X509_set_version(cert.get(), 2);
    // A random positive serial, so that a remade certificate never repeats an earlier one.
    std::unique_ptr<BIGNUM, decltype(&BN_free)> bn(BN_new(), &BN_free);
    if (!bn || !BN_rand(bn.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert.get()))) {
        *error = QStringLiteral("cannot make a serial number");
        return false;
    }
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("VantelServer"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Vantel"), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (!AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") ||
        !AddExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
        *error = QStringLiteral("cannot sign the certificate");
        return false;
    }
    BioPtr kb(BIO_new(BIO_s_mem()), &BIO_free);
    BioPtr cb(BIO_new(BIO_s_mem()), &BIO_free);
    if (!kb || !cb ||
        PEM_write_bio_PrivateKey(kb.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_X509(cb.get(), cert.get()) != 1) {
        *error = QStringLiteral("cannot encode the key or the certificate");
        return false;
    }
    out->keyPem = BioText(kb.get());
    out->certPem = BioText(cb.get());
    return true;
}

bool WriteWhole(const QString& path, const QByteArray& data, bool secret, QString* error) {
    // Whole or not at all: an empty key or certificate left by a full disk would make a new
    // identity at the next start, and every pinned client would refuse the engine.
    const LumoSaveResult r = LumoSaveFileAtomic(QFile::encodeName(path).toStdString(), data.constData(),
                                                static_cast<size_t>(data.size()), secret ? 0600 : 0644);
    if (!r.ok()) {
        *error = QString::fromStdString(r.message);
        return false;
    }
    return true;
}

}  // namespace

bool LoadOrCreateKeyPair(const QString& folder, KeyPair* out, QString* error) {
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    QFile keyFile(dir.filePath(kKeyFile));
    QFile certFile(dir.filePath(kCertFile));
    if (keyFile.open(QIODevice::ReadOnly) && certFile.open(QIODevice::ReadOnly)) {
        KeyPair pair{keyFile.readAll(), certFile.readAll()};
        if (PairParses(pair.keyPem, pair.certPem)) {
            // A key left readable by others (copied by hand, say) is tightened again.
            if ((keyFile.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) != 0)
                keyFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            *out = pair;
            return true;
        }
    }
    keyFile.close();
    certFile.close();
    KeyPair pair;
    if (!MakePair(&pair, error)) return false;
    if (!WriteWhole(keyFile.fileName(), pair.keyPem, true, error) ||
        !WriteWhole(certFile.fileName(), pair.certPem, false, error))
        return false;
    *out = pair;
    return true;
}

QByteArray CertificateXml(const QByteArray& certPem) {
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("VantelServerCertification"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    w.writeStartElement(QStringLiteral("Certificate"));
    w.writeAttribute(QStringLiteral("format"), QStringLiteral("PEM"));
    w.writeCharacters(QString::fromLatin1(certPem));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

}  // namespace lumos
