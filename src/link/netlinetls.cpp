// The TLS side of the network line: the handshake, the certificate checks, and a client
// certificate when the server asks for one.

#include "netconnection.h"

#include "stringtable.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

namespace Quilo::Net {

using Serial::Failure;
using Serial::OpenResult;

QString openSslError()
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return LoadString(Str::NetErrTlsUnknown);
    char text[256] = {};
    ERR_error_string_n(e, text, sizeof text);
    return QString::fromLatin1(text);
}

namespace {

// With TLS 1.3 the server judges our certificate after our side of the handshake is done: a
// refusal arrives as an alert a moment later. Waited for here, so that it is a refused
// connection (with the server's reason) and not a line lost at the first request.
OpenResult clientCertificateTaken(Connection &c, const Address &a, bool noCertificate)
{
    if (!c.certificateAsked)
        return {};
    if (noCertificate)
        return {Failure::Other, 0, LoadString(Str::NetErrTlsNeedCert).arg(a.host)};
    const std::int64_t verdict = nowNs() + msToNs(300);
    while (waitReadable(c, verdict)) {
        if (pump(c) < 0)
            return {Failure::Other, 0, LoadString(Str::NetErrTlsCertRefused).arg(a.host, openSslError())};
    }
    return {};
}

bool isIpAddress(const QByteArray &host)
{
    in6_addr any{};
    return inet_pton(AF_INET, host.constData(), &any) == 1 || inet_pton(AF_INET6, host.constData(), &any) == 1;
}

} // namespace

OpenResult startTls(Connection &c, const Address &a, const Options &o, std::int64_t deadline)
{
    c.ctx = SSL_CTX_new(TLS_client_method());
    if (!c.ctx)
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    SSL_CTX_set_min_proto_version(c.ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(c.ctx, SSL_VERIFY_PEER, nullptr);
    const bool caLoaded = o.caFile.isEmpty() ? SSL_CTX_set_default_verify_paths(c.ctx) == 1
                                             : SSL_CTX_load_verify_locations(c.ctx, o.caFile.toLocal8Bit().constData(), nullptr) == 1;
    if (!caLoaded)
        return {Failure::Other, 0, LoadString(Str::NetErrTlsFile).arg(o.caFile, openSslError())};
    if (!o.certFile.isEmpty()) {
        const QByteArray cert = o.certFile.toLocal8Bit();
        const QByteArray key = (o.keyFile.isEmpty() ? o.certFile : o.keyFile).toLocal8Bit();
        if (SSL_CTX_use_certificate_chain_file(c.ctx, cert.constData()) != 1)
            return {Failure::Other, 0, LoadString(Str::NetErrTlsFile).arg(o.certFile, openSslError())};
        if (SSL_CTX_use_PrivateKey_file(c.ctx, key.constData(), SSL_FILETYPE_PEM) != 1
            || SSL_CTX_check_private_key(c.ctx) != 1)
            return {Failure::Other, 0,
                    LoadString(Str::NetErrTlsFile).arg(o.keyFile.isEmpty() ? o.certFile : o.keyFile, openSslError())};
    }
    c.ssl = SSL_new(c.ctx);
    if (!c.ssl || SSL_set_fd(c.ssl, c.fd) != 1)
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    // Called on a client only when the server asks for a certificate.
    SSL_set_cert_cb(
        c.ssl,
        [](SSL *, void *arg) {
            static_cast<Connection *>(arg)->certificateAsked = true;
            return 1;
        },
        &c);
    // The certificate must name the host the port names: its DNS name, or its IP address.
    const QByteArray host = a.host.toUtf8();
    if (isIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(c.ssl), host.constData());
    } else {
        // SSL_set_tlsext_host_name() without the macro's cast: the name the server picks its certificate by
        SSL_ctrl(c.ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char *>(host.constData()));
        SSL_set1_host(c.ssl, host.constData());
    }
    HoldBrokenPipe hold;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_connect(c.ssl);
        if (r == 1)
            return clientCertificateTaken(c, a, o.certFile.isEmpty());
        const int err = SSL_get_error(c.ssl, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            const int revents = waitFor(c.fd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline - nowNs());
            if (revents == 0)
                return {Failure::Other, ETIMEDOUT, LoadString(Str::NetErrTlsSilent).arg(a.host)};
            continue;
        }
        const long verify = SSL_get_verify_result(c.ssl);
        if (verify != X509_V_OK)
            return {Failure::Other, 0,
                    LoadString(Str::NetErrTlsCert).arg(a.host, QString::fromLatin1(X509_verify_cert_error_string(verify)))};
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    }
}

} // namespace Quilo::Net
